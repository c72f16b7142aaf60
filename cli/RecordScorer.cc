#include "cli/RecordScorer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "host/ColumnBatch.h"
#include "host/NumberText.h"
#include "host/ScoreClsResult.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "scoring/RuleSetResult.h"

namespace rulescore {
namespace cli {

namespace K = KtZembra_940;

std::string QuoteForMessage(const std::string& text) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  size_t i = 0;
  for (; i < text.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out.append(escaped);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  // Do not end the shown part inside a UTF-8 sequence.
  if (i < text.size()) {
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
    out.append("...");
  }
  out.push_back('"');
  return out;
}

RecordScorer::RecordScorer(K::ScoreModel* model, const std::vector<std::string>& header,
                           const std::vector<std::string>& fields)
    : model_(model), header_(header) {
  decisionList_ = model_->GetModelType() == K::ScoreModel::kDecisionListModel;
  std::unordered_map<std::string, int> columns;
  for (size_t i = 0; i < header.size(); ++i) columns.emplace(header[i], static_cast<int>(i));
  const std::unordered_set<std::string> used(fields.begin(), fields.end());

  std::vector<std::string> layout;
  const K::ScoreDictionary* dictionary = model_->GetDictionary();
  if (dictionary != nullptr) {
    for (const K::ScoreDictVar* var : dictionary->GetAllVars()) {
      if (var == nullptr || used.count(var->Name()) == 0) continue;
      const auto found = columns.find(var->Name());
      Binding binding;
      binding.column = found == columns.end() ? -1 : found->second;
      binding.position = static_cast<int>(layout.size());
      binding.var = var;
      binding.numeric = var->GetValueType() == K::ScoreDictVar::kNumeric;
      bindings_.push_back(binding);
      layout.push_back(var->Name());
    }
  }
  record_.SetLayout(layout);
}

RecordScorer::~RecordScorer() { delete result_; }

bool RecordScorer::FillRecord(const CsvRow& row, std::string* error) {
  const auto line = [&row]() { return "line " + std::to_string(row.line) + ": "; };
  if (!row.error.empty()) {
    *error = line();
    if (row.errorField > 0) {
      const size_t i = row.errorField - 1;
      *error += "column " + std::to_string(row.errorField);
      if (i < header_.size()) *error += " (" + QuoteForMessage(header_[i]) + ")";
      *error += ": ";
    }
    *error += row.error;
    return false;
  }
  if (row.count != header_.size()) {
    *error = line() + std::to_string(row.count) + (row.count == 1 ? " cell" : " cells") +
             " where the header has " + std::to_string(header_.size());
    return false;
  }
  record_.Clear();
  for (const Binding& binding : bindings_) {
    if (binding.column < 0) {
      record_.SetMissing(binding.position);
      continue;
    }
    const std::string_view cell = row.Cell(static_cast<size_t>(binding.column));
    if (cell.empty()) {
      record_.SetMissing(binding.position);
      continue;
    }
    if (binding.numeric) {
      double value;
      if (binding.var->ParseNumber(cell, &value)) {
        record_.SetNumber(binding.position, value);
        continue;
      }
      probe_.SetText(cell);
      if (binding.var->IsMissingValue(probe_)) {
        record_.SetMissing(binding.position);
        continue;
      }
      if (textsReachTheModel_) {
        record_.SetText(binding.position, cell);
        continue;
      }
      *error = line() + "column " + QuoteForMessage(header_[static_cast<size_t>(binding.column)]) +
               ": " + QuoteForMessage(std::string(cell)) +
               (binding.var->IsBoolean() ? " is not a boolean" : " is not a number");
      return false;
    }
    probe_.SetText(cell);
    if (binding.var->IsMissingValue(probe_)) {
      record_.SetMissing(binding.position);
    } else {
      record_.SetText(binding.position, cell);
    }
  }
  return true;
}

void RecordScorer::Score(const CsvRow& row, RowScore* score) {
  score->Reset();
  if (!FillRecord(row, &score->error)) return;

  const K::KtScore::KtStatus status = model_->GetScore(&record_, result_, false);
  if (status.IsError()) {
    // A result that says why (an invalid value) gives its text.
    const auto* rules = result_ != nullptr &&
                                result_->GetScoreResultType() == K::ScoreResult::kRuleSetResult
                            ? static_cast<const K::RuleSetResult*>(result_)
                            : nullptr;
    if (rules != nullptr && !rules->GetErrorText().empty()) {
      score->error = "line " + std::to_string(row.line) + ": " + rules->GetErrorText();
    } else {
      score->error = "line " + std::to_string(row.line) + ": scoring failed with status " +
                     std::to_string(status.GetErrorCode());
    }
    return;
  }
  score->ok = true;
  if (result_ == nullptr) return;

  const K::ScoreClsResult* classification = nullptr;
  if (result_->GetScoreResultType() == K::ScoreResult::kRuleSetResult) {
    const auto* rules = static_cast<const K::RuleSetResult*>(result_);
    classification = rules;
    // Only the inline accessor: the tool does not link the plug-in's code.
    const std::vector<std::string>& fired = rules->GetFiredRuleIds();
    score->firedRules.assign(fired.begin(), fired.end());
    score->winningRule.assign(rules->GetWinningRuleId());
    const std::vector<K::RuleSetResult::OutputValue>& values = rules->GetOutputValues();
    score->outputs.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      RowScore::Output& output = score->outputs[i];
      const K::RuleSetResult::OutputValue& value = values[i];
      output.isMissing = value.kind == K::RuleSetResult::OutputValue::kMissing;
      if (value.kind == K::RuleSetResult::OutputValue::kText) {
        output.text.assign(value.text);
      } else if (value.kind == K::RuleSetResult::OutputValue::kNumber) {
        char buffer[64];
        const std::string_view text =
            K::NumberText::FormatShortest(value.number, buffer, sizeof buffer);
        output.text.assign(text.data(), text.size());
        output.isNumber = std::isfinite(value.number);
      }
    }
  } else {
    classification = dynamic_cast<const K::ScoreClsResult*>(result_);
  }
  if (classification == nullptr) return;

  const K::ScoreValue* prediction = classification->GetPrediction();
  if (prediction == nullptr) return;
  score->hasPrediction = true;
  if (prediction->GetValueType() == K::ScoreValue::kNumeric) {
    char buffer[64];
    const std::string_view text =
        K::NumberText::FormatShortest(prediction->GetDouble(), buffer, sizeof buffer);
    score->prediction.assign(text.data(), text.size());
    score->predictionIsNumber = std::isfinite(prediction->GetDouble());
  } else {
    score->prediction = prediction->GetString();
  }
  // A decision list yields no confidence.
  if (!decisionList_) {
    score->hasConfidence = true;
    score->confidence = classification->GetConfidence();
    if (std::isfinite(score->confidence)) SetConfidenceText(score);
  }
}

bool RecordScorer::PrepareBlocks() {
  // A block's columns are laid out as the record is, so that whichever of
  // the two binds the model first binds it alike.
  if (bindings_.empty()) return false;
  categories_.clear();
  for (const K::ScoreValue* category : model_->GetBatchCategories()) {
    if (category == nullptr) return false;
    Prediction prediction;
    if (category->GetValueType() == K::ScoreValue::kNumeric) {
      char buffer[64];
      const std::string_view text =
          K::NumberText::FormatShortest(category->GetDouble(), buffer, sizeof buffer);
      prediction.text.assign(text.data(), text.size());
      prediction.isNumber = std::isfinite(category->GetDouble());
    } else {
      prediction.text = category->GetString();
    }
    categories_.push_back(std::move(prediction));
  }
  ruleIds_ = model_->GetBatchRuleIds();
  std::fill(std::begin(textBytes_), std::end(textBytes_), 0);
  const auto noteBytes = [this](const std::string& text) {
    for (const char c : text) {
      const unsigned char byte = static_cast<unsigned char>(c);
      textBytes_[byte >> 6] |= uint64_t{1} << (byte & 63);
    }
  };
  for (const Prediction& prediction : categories_) noteBytes(prediction.text);
  for (const std::string& id : ruleIds_) noteBytes(id);
  ruleConfidence_.assign(ruleIds_.size() + 1, ConfidenceText());
  outputCount_ = model_->GetBatchOutputs().size();
  blockColumns_.resize(bindings_.size());
  return true;
}

void RecordScorer::ScoreRows(const CsvRow* rows, size_t count, RowScore* scores) {
  if (blockState_ == BlockState::kUnknown) {
    blockState_ = PrepareBlocks() ? BlockState::kReady : BlockState::kUnavailable;
  }
  if (blockState_ != BlockState::kReady || count == 0) {
    for (size_t i = 0; i < count; ++i) Score(rows[i], &scores[i]);
    return;
  }

  // The cells, column by column as Score's FillRecord reads them; a row
  // FillRecord would fail or hand a text to the model is left to Score.
  blockSlow_.assign(count, 0);
  const size_t width = header_.size();
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].count != width || !rows[i].error.empty()) blockSlow_[i] = 1;
  }
  for (size_t b = 0; b < bindings_.size(); ++b) {
    const Binding& binding = bindings_[b];
    BlockColumn& column = blockColumns_[b];
    column.missing.assign(count, 1);
    column.texts.clear();
    if (binding.column < 0) {
      column.numbers.assign(count, 0.0);
      continue;
    }
    const size_t at = static_cast<size_t>(binding.column);
    if (binding.numeric) {
      column.numbers.resize(count);
      double* numbers = column.numbers.data();
      uint8_t* missing = column.missing.data();
      // What ParseNumber does for a field that is no boolean, without the call.
      const bool boolean = binding.var->IsBoolean();
      for (size_t i = 0; i < count; ++i) {
        numbers[i] = 0.0;
        if (blockSlow_[i] != 0) continue;
        const std::string_view cell = rows[i].Cell(at);
        if (cell.empty()) continue;
        if (boolean ? binding.var->ParseNumber(cell, &numbers[i])
                    : K::NumberText::ParseDouble(cell, &numbers[i])) {
          missing[i] = 0;
          continue;
        }
        numbers[i] = 0.0;
        probe_.SetText(cell);
        if (!binding.var->IsMissingValue(probe_)) blockSlow_[i] = 1;
      }
      continue;
    }
    column.codes.assign(count, -1);
    codeOf_.clear();
    for (size_t i = 0; i < count; ++i) {
      if (blockSlow_[i] != 0) continue;
      const std::string_view cell = rows[i].Cell(at);
      if (cell.empty()) continue;
      const auto found = codeOf_.find(cell);
      if (found != codeOf_.end()) {
        column.codes[i] = found->second;
        column.missing[i] = found->second < 0 ? 1 : 0;
        continue;
      }
      probe_.SetText(cell);
      int32_t code = -1;
      if (!binding.var->IsMissingValue(probe_)) {
        code = static_cast<int32_t>(column.texts.size());
        column.texts.emplace_back(cell);
      }
      codeOf_.emplace(cell, code);
      column.codes[i] = code;
      column.missing[i] = code < 0 ? 1 : 0;
    }
  }

  K::ColumnBatch batch(count);
  for (size_t b = 0; b < bindings_.size(); ++b) {
    BlockColumn& column = blockColumns_[b];
    const Binding& binding = bindings_[b];
    if (binding.column >= 0 && !binding.numeric) {
      batch.AddCodes(binding.var->Name(), column.codes.data(), std::move(column.texts),
                     column.missing.data());
    } else {
      batch.AddNumbers(binding.var->Name(), column.numbers.data(), column.missing.data());
    }
  }
  block_.Resize(count, outputCount_);
  K::BatchScores out = block_.Scores();
  if (model_->ScoreBatch(batch, 0, count, out) != count) {
    // The model cannot score columns: every block goes row by row.
    blockState_ = BlockState::kUnavailable;
    for (size_t i = 0; i < count; ++i) Score(rows[i], &scores[i]);
    return;
  }
  size_t firedAt = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t firedFrom = firedAt;
    firedAt += block_.firedCount[i] > 0 ? static_cast<size_t>(block_.firedCount[i]) : 0;
    if (blockSlow_[i] != 0 || block_.status[i] != K::BatchScores::kScored) {
      Score(rows[i], &scores[i]);
      continue;
    }
    RowScore* score = &scores[i];
    score->Reset();
    score->ok = true;
    score->ruleIds = &ruleIds_;
    score->textBytes = textBytes_;
    score->firedIndices = block_.fired.data() + std::min(firedFrom, block_.fired.size());
    score->firedIndexCount = std::min(firedAt, block_.fired.size()) - std::min(firedFrom, block_.fired.size());
    const int32_t winning = block_.winningRule[i];
    if (winning >= 0 && static_cast<size_t>(winning) < ruleIds_.size()) {
      score->winningRuleRef = &ruleIds_[static_cast<size_t>(winning)];
    }
    score->outputs.resize(outputCount_);
    for (size_t f = 0; f < outputCount_; ++f) {
      RowScore::Output& output = score->outputs[f];
      const K::BatchScores::OutputValue& value = block_.outputs[i * outputCount_ + f];
      output.isMissing = value.kind == K::BatchScores::OutputValue::kMissing;
      if (value.kind == K::BatchScores::OutputValue::kText) {
        output.text.assign(value.text);
      } else if (value.kind == K::BatchScores::OutputValue::kNumber) {
        char buffer[64];
        const std::string_view text =
            K::NumberText::FormatShortest(value.number, buffer, sizeof buffer);
        output.text.assign(text.data(), text.size());
        output.isNumber = std::isfinite(value.number);
      }
    }
    const int32_t category = block_.prediction[i];
    if (category < 0 || static_cast<size_t>(category) >= categories_.size()) continue;
    const Prediction& prediction = categories_[static_cast<size_t>(category)];
    score->hasPrediction = true;
    score->predictionRef = &prediction.text;
    score->predictionIsNumber = prediction.isNumber;
    // A decision list yields no confidence.
    if (!decisionList_) {
      score->hasConfidence = true;
      score->confidence = block_.confidence[i];
      if (std::isfinite(score->confidence)) {
        const size_t slot = static_cast<size_t>(winning + 1);
        SetConfidenceText(score, slot < ruleConfidence_.size() ? &ruleConfidence_[slot] : nullptr);
      }
    }
  }
}

void RecordScorer::SetConfidenceText(RowScore* score, ConfidenceText* given) {
  uint64_t bits = 0;
  std::memcpy(&bits, &score->confidence, sizeof bits);
  ConfidenceText& entry =
      given != nullptr ? *given : confidenceTexts_[(bits * 0x9E3779B97F4A7C15u) >> 58];
  if (!entry.set || entry.bits != bits) {
    const std::string_view text =
        K::NumberText::FormatShortest(score->confidence, entry.text, sizeof entry.text);
    entry.bits = bits;
    entry.size = static_cast<unsigned char>(text.size());
    entry.set = true;
  }
  static_assert(sizeof entry.text <= RowScore::kConfidenceTextCapacity, "a confidence text fits the row");
  std::memcpy(score->confidenceText, entry.text, sizeof entry.text);
  score->confidenceTextSize = entry.size;
}

}  // namespace cli
}  // namespace rulescore
