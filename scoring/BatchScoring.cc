// Columnar scoring of RuleSetModel: many records per call, read straight
// from the caller's columns into the model's value table, then chosen by the
// same rule-set walk and selection as GetScore. Columns are bound to the
// predictors once per call, and every text of a code column is encoded once
// per call, so the per-row work is a load per predictor and the walk; once
// the model's working arrays and the fired list have grown, a row allocates
// nothing.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/StringValue.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"

namespace KtZembra_940 {

namespace {

// Tables of categories, and batches of columns, beyond these sizes are
// searched through a hash map.
constexpr size_t kLinearCategories = 8;
constexpr size_t kLinearColumns = 16;

}  // namespace

class RuleSetModel::BatchState {
 public:
  // How predictor i is read from a row.
  enum Read : uint8_t {
    kAbsent,         // no column: missing in every row
    kNumber,         // a number column read as it is
    kNumberGeneral,  // a number column through the general encoding
    kTable,          // a code column: the code's encoding, from `table`
  };
  struct Binding {
    Read read = kAbsent;
    int32_t column = -1;
    const double* numbers = nullptr;
    const int32_t* codes = nullptr;
    const uint8_t* missing = nullptr;
    bool nanIsMissing = false;
    double missingValue = 0.0;  // what an absent value encodes to (treated)
    const TreatStep* treat = nullptr;  // the predictor's treatments (pmml)
    size_t tableBegin = 0;      // kTable: the column's texts in table and bad
    size_t tableSize = 0;
  };

  std::vector<Binding> bindings;
  std::vector<double> table;  // per text of every bound code column
  // Per text: why a row holding it is refused (a RowStatus; kScored when
  // it is not).
  std::vector<uint8_t> bad;
  RuleSetResult result{nullptr};
  NumericValue number{0.0};  // the general encoding's probe of a number
  // Per rule set: where its identifiers lie, and the batch index of its
  // first rule.
  std::vector<const std::string*> idBase;
  std::vector<size_t> idCount;
  std::vector<int32_t> idOffset;
  std::unordered_map<const ScoreValue*, int32_t> categoryOf;  // for large tables
  std::unordered_map<std::string, int32_t> columnOf;          // rebuilt per call

  // The record path, for models whose predictors are not all read from
  // columns (derived fields compute theirs from the record): each row is
  // filled into `record`, laid out as the model was bound, and scored as
  // GetScore scores it. One cell per bound field that has a column.
  struct Cell {
    int position = -1;  // in the record layout
    int32_t column = -1;
    bool number = false;  // a numeric field: texts must read as numbers
    size_t tableBegin = 0;  // code columns: per text, its number and badness
  };
  ScoreCaseRecord record;
  std::vector<Cell> cells;
};

void RuleSetModel::DeleteBatchState(BatchState* state) { delete state; }

std::vector<const ScoreValue*> RuleSetModel::GetBatchCategories() const {
  std::vector<const ScoreValue*> categories;
  const size_t count = numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0;
  for (size_t c = 0; c < count && c < categoryValues.size(); ++c) {
    categories.push_back(categoryValues[c]);
  }
  return categories;
}

std::vector<std::string> RuleSetModel::GetBatchRuleIds() const {
  // Rule set by rule set, each in compile order: the order in which the
  // record set-up lays out what the rules give.
  std::vector<std::string> ids;
  for (int m = 0; m < numbOfModels; ++m) {
    const size_t mi = static_cast<size_t>(m);
    if (mi >= ruleSets.size() || ruleSets[mi] == nullptr) continue;
    const std::vector<ST_Rule>& rules = ruleSets[mi]->rules;
    size_t count = rules.size();
    if (dictVarIndexReady && mi < ruleCount.size()) {
      count = ruleCount[mi] > 0 ? static_cast<size_t>(ruleCount[mi]) : 0;
    }
    for (size_t k = 0; k < count && k < rules.size(); ++k) ids.push_back(rules[k].ruleId);
  }
  return ids;
}

size_t RuleSetModel::GetMaxFiredPerRecord() const {
  size_t most = 0;
  for (int m = 0; m < numbOfModels; ++m) {
    const size_t mi = static_cast<size_t>(m);
    if (mi >= ruleSets.size() || ruleSets[mi] == nullptr) continue;
    const int method = mi < ruleSelectionMethodUsed.size() ? ruleSelectionMethodUsed[mi] : firstHit;
    const size_t rules = ruleSets[mi]->rules.size();
    most += method == firstHit ? (rules > 0 ? 1 : 0) : rules;
  }
  return most;
}

size_t RuleSetModel::ScoreBatch(const ColumnBatch& columns, size_t begin, size_t end,
                                BatchScores& scores) {
  if (end > columns.GetRowCount()) end = columns.GetRowCount();
  if (begin >= end) return 0;
  RuleSetResult* remembered = result;
  size_t row = begin;
  size_t firedMark = scores.fired != nullptr ? scores.fired->size() : 0;
  try {
    if (!dictVarIndexReady) {
      // The first record of any kind binds the model: here a layout of the
      // batch's column names.
      std::vector<std::string> names;
      for (const ColumnBatch::Column& column : columns.GetColumns()) names.push_back(column.name);
      if (names.empty()) names.push_back(std::string());
      ScoreCaseRecord layout(names);
      SetUpDictVarIndex(&layout);
    }
    if (!dictVarIndexReady) return 0;
    if (batchState == nullptr) batchState = new BatchState();
    BatchState& state = *batchState;

    // Where each rule set's identifiers lie, to turn the result's pointers
    // into batch indices.
    state.idBase.assign(outcomes.size(), nullptr);
    state.idCount.assign(outcomes.size(), 0);
    state.idOffset.assign(outcomes.size(), 0);
    int32_t offset = 0;
    for (size_t m = 0; m < outcomes.size(); ++m) {
      state.idOffset[m] = offset;
      state.idCount[m] = outcomes[m].Size();
      if (state.idCount[m] != 0) state.idBase[m] = outcomes[m].Id(0);
      offset += static_cast<int32_t>(state.idCount[m]);
    }
    const ScoreValue* const* categories = categoryValues.data();
    const size_t categoryCount = std::min(
        categoryValues.size(), numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0);
    if (categoryCount > kLinearCategories && state.categoryOf.size() != categoryCount) {
      state.categoryOf.clear();
      for (size_t c = 0; c < categoryCount; ++c) {
        state.categoryOf.emplace(categories[c], static_cast<int32_t>(c));
      }
    }

    // Bind every predictor to its column: by a scan when there are few
    // columns, else through a map of the names.
    const std::vector<ColumnBatch::Column>& cols = columns.GetColumns();
    const bool scan = cols.size() <= kLinearColumns;
    state.columnOf.clear();
    if (!scan) {
      for (size_t c = 0; c < cols.size(); ++c) {
        state.columnOf.emplace(cols[c].name, static_cast<int32_t>(c));
      }
    }
    state.bindings.assign(encodeSteps.size(), BatchState::Binding());
    state.table.clear();
    state.bad.clear();
    // Under pmml the fields' treatments are applied to what a column gives:
    // once per text of a code column and to the missing value at binding,
    // per row only to the numbers of a number column, and there only when
    // the field declares something numbers may fail.
    for (const TreatStep& treat : treatSteps) {
      const size_t i = static_cast<size_t>(treat.index);
      if (i < state.bindings.size()) state.bindings[i].treat = &treat;
    }
    const bool textsReachTheModel = semantics == pmml;
    for (size_t i = 0; i < encodeSteps.size(); ++i) {
      BatchState::Binding& binding = state.bindings[i];
      const EncodeStep& step = encodeSteps[i];
      const double absent = EncodeValue(nullptr, i);
      binding.missingValue = absent;
      if (binding.treat != nullptr) TreatValue(*binding.treat, nullptr, &binding.missingValue);
      if (step.var == nullptr) continue;
      int32_t at = -1;
      if (scan) {
        at = static_cast<int32_t>(columns.Find(step.var->Name()));
      } else {
        const auto found = state.columnOf.find(step.var->Name());
        if (found != state.columnOf.end()) at = found->second;
      }
      if (at < 0) continue;
      const ColumnBatch::Column& column = cols[static_cast<size_t>(at)];
      binding.column = at;
      binding.missing = column.missing;
      binding.nanIsMissing = column.nanIsMissing;
      if (column.kind == ColumnBatch::Kind::kNumbers) {
        binding.numbers = column.numbers;
        binding.read = step.kind == kReadNumber ? BatchState::kNumber : BatchState::kNumberGeneral;
        continue;
      }
      // A code column: each text encoded (and treated) once, as a record
      // holding it in that field would be; for a numeric field the text
      // must read as a number or be a declared missing value, except under
      // pmml, where any other text is the field's to judge as invalid.
      binding.codes = column.codes;
      binding.read = BatchState::kTable;
      binding.tableBegin = state.table.size();
      binding.tableSize = column.texts.size();
      const bool isString = i < predVarIsString.size() && predVarIsString[i];
      for (const std::string& text : column.texts) {
        const StringValue value(text);
        double encoded = absent;
        const ScoreValue* cell = nullptr;
        uint8_t isBad = BatchScores::kScored;
        if (isString) {
          encoded = EncodeValue(&value, i);
          cell = &value;
        } else {
          double parsed = 0.0;
          if (step.var->ParseNumber(text, &parsed)) {
            state.number.SetDouble(parsed);
            encoded = EncodeValue(&state.number, i);
            cell = &state.number;
          } else if (!step.var->IsMissingValue(value)) {
            if (textsReachTheModel) {
              encoded = EncodeValue(&value, i);
              cell = &value;
            } else {
              isBad = BatchScores::kNotANumber;
            }
          }
        }
        if (isBad == BatchScores::kScored && binding.treat != nullptr &&
            !TreatValue(*binding.treat, cell, &encoded)) {
          isBad = BatchScores::kInvalidValue;
        }
        state.table.push_back(encoded);
        state.bad.push_back(isBad);
      }
    }

    // Derived fields are computed from the record's cells, so such a model
    // scores each row through a record filled from the columns, laid out as
    // the model was bound (each dictionary field at its bound position).
    const bool useRecord = derivedFields != nullptr;
    state.cells.clear();
    if (useRecord) {
      std::vector<std::string> layout;
      const ScoreDictionary* dictionary = GetDictionary();
      const std::vector<ScoreDictVar*> noVars;
      const std::vector<ScoreDictVar*>& vars =
          dictionary != nullptr ? dictionary->GetAllVars() : noVars;
      for (const ScoreDictVar* var : vars) {
        if (var == nullptr || var->GetCaseIndex() < 0) continue;
        const size_t at = static_cast<size_t>(var->GetCaseIndex());
        if (layout.size() <= at) layout.resize(at + 1);
        layout[at] = var->GetName();
      }
      if (layout.empty()) layout.push_back(std::string());
      state.record.SetLayout(layout);
      for (const ScoreDictVar* var : vars) {
        if (var == nullptr || var->GetCaseIndex() < 0) continue;
        const int at = columns.Find(var->GetName());
        if (at < 0) continue;
        BatchState::Cell cell;
        cell.position = var->GetCaseIndex();
        cell.column = static_cast<int32_t>(at);
        cell.number = var->GetValueType() != ScoreDictVar::kString;
        const ColumnBatch::Column& column = cols[static_cast<size_t>(at)];
        cell.tableBegin = state.table.size();
        if (column.kind != ColumnBatch::Kind::kNumbers && cell.number) {
          // Each text of a numeric field read once: its number, or bad when
          // it is neither a number nor a declared missing value.
          for (const std::string& text : column.texts) {
            double parsed = 0.0;
            uint8_t isBad = BatchScores::kScored;
            if (!var->ParseNumber(text, &parsed)) {
              parsed = std::nan("");
              if (!var->IsMissingValue(StringValue(text))) isBad = BatchScores::kNotANumber;
            }
            state.table.push_back(parsed);
            state.bad.push_back(isBad);
          }
        }
        state.cells.push_back(cell);
      }
    }
    // Fills the record from one row; a bad cell stops the row (under pmml
    // the record holds its text, for the treatments to judge).
    const auto fillRecordRow = [&state, &cols, textsReachTheModel](size_t at,
                                                                   int32_t* errorColumn) -> int32_t {
      ScoreCaseRecord& record = state.record;
      record.Clear();
      for (const BatchState::Cell& cell : state.cells) {
        const ColumnBatch::Column& column = cols[static_cast<size_t>(cell.column)];
        if (column.missing != nullptr && column.missing[at] != 0) continue;
        if (column.kind == ColumnBatch::Kind::kNumbers) {
          const double x = column.numbers[at];
          if (!(column.nanIsMissing && std::isnan(x))) record.SetNumber(cell.position, x);
          continue;
        }
        const int32_t code = column.codes[at];
        if (code < 0) continue;
        if (static_cast<size_t>(code) >= column.texts.size()) {
          *errorColumn = cell.column;
          return BatchScores::kCodeOutOfRange;
        }
        if (!cell.number) {
          record.SetText(cell.position, column.texts[static_cast<size_t>(code)]);
          continue;
        }
        const size_t k = cell.tableBegin + static_cast<size_t>(code);
        if (state.bad[k] != BatchScores::kScored) {
          if (textsReachTheModel) {
            record.SetText(cell.position, column.texts[static_cast<size_t>(code)]);
            continue;
          }
          *errorColumn = cell.column;
          return BatchScores::kNotANumber;
        }
        if (!std::isnan(state.table[k])) record.SetNumber(cell.position, state.table[k]);
      }
      return BatchScores::kScored;
    };

    result = &state.result;
    result->ShareRuleIds(ruleIdTable);
    ScoreResult* resultArg = result;
    double* values = predVarValues.data();
    const size_t predictors = std::min(state.bindings.size(), predVarValues.size());
    // The batch index of an identifier the result points at, or -1 (the
    // empty name of a default's winning rule lies in no rule set's table).
    const std::less<const std::string*> before;
    const auto indexOf = [&state, &before](const std::string* id) -> int32_t {
      for (size_t m = 0; m < state.idBase.size(); ++m) {
        const std::string* base = state.idBase[m];
        if (base == nullptr || before(id, base) || !before(id, base + state.idCount[m])) continue;
        return state.idOffset[m] + static_cast<int32_t>(id - base);
      }
      return -1;
    };
    const double sysmis = NumericValue::GetSysmisValue();
    std::string invalidField;  // what the record path's treatments refused
    std::string invalidValue;
    for (; row < end; ++row) {
      if (scores.fired != nullptr) firedMark = scores.fired->size();
      // Read the row's predictors; a bad cell stops the row.
      int32_t status = BatchScores::kScored;
      int32_t errorColumn = -1;
      for (size_t i = 0; i < predictors && !useRecord; ++i) {
        const BatchState::Binding& binding = state.bindings[i];
        if (binding.read == BatchState::kAbsent) {
          values[i] = binding.missingValue;
          continue;
        }
        if (binding.missing != nullptr && binding.missing[row] != 0) {
          values[i] = binding.missingValue;
          continue;
        }
        if (binding.read == BatchState::kTable) {
          const int32_t code = binding.codes[row];
          if (code < 0) {
            values[i] = binding.missingValue;
          } else if (static_cast<size_t>(code) >= binding.tableSize) {
            status = BatchScores::kCodeOutOfRange;
          } else if (state.bad[binding.tableBegin + static_cast<size_t>(code)] !=
                     BatchScores::kScored) {
            status = state.bad[binding.tableBegin + static_cast<size_t>(code)];
          } else {
            values[i] = state.table[binding.tableBegin + static_cast<size_t>(code)];
          }
          if (status != BatchScores::kScored) {
            errorColumn = binding.column;
            break;
          }
          continue;
        }
        const double x = binding.numbers[row];
        if (binding.nanIsMissing && std::isnan(x)) {
          values[i] = binding.missingValue;
          continue;
        }
        if (binding.read == BatchState::kNumber) {
          values[i] = x;
        } else {
          state.number.SetDouble(x);
          values[i] = EncodeValue(&state.number, i);
        }
        const TreatStep* treat = binding.treat;
        if (treat == nullptr) continue;
        const double v = values[i];
        if (treat->numbersPass && v != sysmis && v >= treat->lowValue && v <= treat->highValue) {
          continue;
        }
        state.number.SetDouble(x);
        if (!TreatValue(*treat, &state.number, &values[i])) {
          status = BatchScores::kInvalidValue;
          errorColumn = binding.column;
          break;
        }
      }
      if (useRecord) {
        status = fillRecordRow(row, &errorColumn);
        if (status == BatchScores::kScored) {
          bool flag = false;
          ProcessScoreCase(&state.record, flag);
          if (!treatSteps.empty() &&
              !ApplyFieldTreatments(&state.record, &invalidField, &invalidValue)) {
            status = BatchScores::kInvalidValue;
            errorColumn = columns.Find(invalidField);
          }
        }
      }
      scores.status[row] = status;
      scores.errorColumn[row] = errorColumn;
      if (status != BatchScores::kScored) {
        scores.prediction[row] = -1;
        scores.confidence[row] = std::nan("");
        scores.winningRule[row] = -1;
        scores.firedCount[row] = 0;
        continue;
      }

      state.result.RemoveRuleIDs();
      // Under pmml a row with a missing predictor is walked three-valued.
      threeValuedRecord = semantics == pmml && HasMissingPredictor();
      if (ScoreAllRuleSetModels(nullptr, resultArg).IsError()) {
        scores.status[row] = BatchScores::kNotScored;
        scores.prediction[row] = -1;
        scores.confidence[row] = std::nan("");
        scores.winningRule[row] = -1;
        scores.firedCount[row] = 0;
        continue;
      }

      const ScoreValue* prediction = state.result.GetPrediction();
      int32_t category = -1;
      if (prediction != nullptr) {
        if (state.categoryOf.empty()) {
          for (size_t c = 0; c < categoryCount; ++c) {
            if (categories[c] == prediction) {
              category = static_cast<int32_t>(c);
              break;
            }
          }
        } else {
          const auto hit = state.categoryOf.find(prediction);
          if (hit != state.categoryOf.end()) category = hit->second;
        }
      }
      scores.prediction[row] = category;
      scores.confidence[row] = state.result.GetConfidence();
      scores.winningRule[row] = indexOf(&state.result.GetWinningRuleId());

      int32_t count = 0;
      for (const std::string* id : state.result.GetFiredRulePointers()) {
        const int32_t index = indexOf(id);
        if (index < 0) continue;
        if (scores.fired != nullptr) scores.fired->push_back(index);
        ++count;
      }
      scores.firedCount[row] = count;
    }
  } catch (...) {
    // Only an exhausted heap gets here (a table or the fired list
    // growing): the rows left are not scored, and the row cut short
    // leaves no rules behind.
    if (scores.fired != nullptr) scores.fired->resize(firedMark);
    for (; row < end; ++row) {
      scores.status[row] = BatchScores::kNotScored;
      scores.errorColumn[row] = -1;
      scores.prediction[row] = -1;
      scores.confidence[row] = std::nan("");
      scores.winningRule[row] = -1;
      scores.firedCount[row] = 0;
    }
  }
  result = remembered;
  return end - begin;
}

}  // namespace KtZembra_940
