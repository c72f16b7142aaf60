// The per-record driver of RuleSetModel: binds the model to the record
// layout once, encodes each record into the flat value table, makes sure the
// caller holds a RuleSetResult, lets every rule set choose, combines the rule
// sets by a vote and writes prediction and confidence into the result.
#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <typeinfo>

#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/ErrorCodes.h"
#include "host/ErrorFormatter.h"
#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValue.h"
#include "host/ScoreValueCoder.h"
#include "host/ScoringLog.h"
#include "host/StringValue.h"
#include "model/DerivedFieldProgram.h"
#include "model/OutputFields.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "scoring/ScoringPlan.h"

namespace KtZembra_940 {

namespace {

// The code the record's trace line and status use for a missing record.
constexpr long kMissingRecord = 90029;

// A string cell's encoded value: its label code, or NaN for a text the
// field does not know (present, but equal to nothing).
double LabelValue(int code) {
  return code == ScoreValueCoder::kNoCode ? std::numeric_limits<double>::quiet_NaN()
                                          : static_cast<double>(code);
}

void TraceError(const KtScore::KtStatus& status) {
  ScoringLog::GetInstance().TraceText(1, "KtStatus error code is :%ld", status.GetErrorCode());
}

}  // namespace

KtScore::KtStatus RuleSetModel::GetScore(const ScoreCaseRecord* record, ScoreResult*& resultArg,
                                         bool flag) {
  KtScore::KtStatus status;
  if (record == nullptr) {
    status = KtScore::KtStatus(kMissingRecord, false);
    TraceError(status);
    return status;
  }
  try {
    if (!dictVarIndexReady) SetUpDictVarIndex(record);
    if (!dictVarIndexReady) {
      // The record could not bind the model (no layout, or no dictionary):
      // the working tables are still unsized and must not be indexed.
      status = KtScore::KtStatus(ErrorCode::kNotScorable, false);
    } else if (!ScoreNumberRecord(*record, resultArg)) {
      ProcessScoreCase(record, flag);
      std::string invalidField;
      std::string invalidValue;
      // The common pmml record, every predictor a present number inside its
      // bounds, has nothing to treat and nothing missing (the reference walk
      // treats every value the long way).
      const bool clean =
          !useReferenceWalk && recordAllNumbers && !treatLow.empty() && NeedsNoTreatment();
      const bool valid = clean || treatSteps.empty() ||
                         ApplyFieldTreatments(record, &invalidField, &invalidValue);
      // Both semantics agree on a record whose predictors are all present;
      // only the others take the three-valued walk.
      threeValuedRecord = semantics == pmml && !clean && HasMissingPredictor();
      SetUpScoreResult(resultArg);
      if (!result->GetErrorText().empty()) result->SetErrorText(std::string());
      if (valid) {
        status = ScoreAllRuleSetModels(record, resultArg);
        if (outputFields != nullptr) {
          outputFields->Evaluate(*this, record, result);
        } else if (result != nullptr) {
          result->ClearOutputs();
        }
      } else {
        // returnInvalid: the record gets no prediction, and the result says
        // which value of which field was refused.
        result->SetPrediction(nullptr);
        result->SetConfidence(-1.0);
        result->SetWinningRuleId(nullptr);
        result->ClearOutputs();
        result->SetErrorText(
            gErrorFormater.Format(ErrorCode::kInvalidInput, {invalidField, invalidValue}));
        status = KtScore::KtStatus(ErrorCode::kInvalidInput, false);
      }
    }
  } catch (...) {
    // Only an exhausted heap can get here (the result object, the set-up's
    // tables or a fired-rule list growing); scoring never lets it out.
    status = KtScore::KtStatus(ErrorCode::kNotScorable, false);
  }
  if (status.IsError()) TraceError(status);
  return status;
}

bool RuleSetModel::ScoreNumberRecord(const ScoreCaseRecord& record, ScoreResult*& resultArg) {
  if (!shortWay || singleFirstHitCount == 0 || numbOfModels != 1 || useReferenceWalk ||
      (!ruleSelectionMethodUsed.empty() && ruleSelectionMethodUsed[0] != firstHit) ||
      resultArg == nullptr || typeid(*resultArg) != typeid(RuleSetResult)) {
    return false;
  }
  const ScoreCaseRecord::Slots slots = record.GetSlots();
  if (slots.count < numberCellsNeeded) return false;
  // Every predictor's cell lies inside the record: read them all, then
  // check that each did hold a number. Derived predictors are written in
  // place by the derived fields, computed from the record as it is (the
  // general way computes them again if the record goes there).
  double* out = predVarValues.data();
  const EncodeStep* steps = encodeSteps.data();
  const size_t count = encodeSteps.size();
  unsigned ok = 1;
  if (derivedFields != nullptr) derivedFields->Evaluate(slots, out);
  if (!anyDirect) {
    for (size_t i = 0; i < count; ++i) {
      const size_t at = static_cast<size_t>(steps[i].position);
      ok &= static_cast<unsigned>(slots.kinds[at] == ScoreCaseRecord::Kind::kNumber);
      out[i] = slots.numbers[at].Number();
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      if (steps[i].kind == kReadDerivedDirect) continue;
      const size_t at = static_cast<size_t>(steps[i].position);
      ok &= static_cast<unsigned>(slots.kinds[at] == ScoreCaseRecord::Kind::kNumber);
      out[i] = slots.numbers[at].Number();
    }
  }
  if (ok == 0) return false;
  recordAllNumbers = true;
  // Nothing to treat: under pmml every value inside its bounds, under the
  // native semantics no treatments at all.
  if (semantics == pmml ? treatLow.empty() || !NeedsNoTreatment() : !treatSteps.empty()) return false;
  threeValuedRecord = false;
  result = static_cast<RuleSetResult*>(resultArg);
  result->RemoveRuleIDs();
  result->ShareRuleIds(ruleIdTable);
  result->SetTarget(targetVar);
  if (!result->GetErrorText().empty()) result->SetErrorText(std::string());
  ScoreSingleFirstHit();
  if (outputFields != nullptr) {
    outputFields->Evaluate(*this, &record, result);
  } else {
    result->ClearOutputs();
  }
  return true;
}

void RuleSetModel::ScoreSingleFirstHit() {
  // The first rule that fires decides, else the default; what the general
  // way gives for one rule set under first hit.
  LeafValue known;
  bool attached = false;
  const int32_t first = plan->FirstFiredRule(0, predVarValues.data(), &known, &attached);
  const std::string* winning = nullptr;
  int category = -1;
  double confidence = 0.0;
  if (first >= 0 && static_cast<size_t>(first) < singleFirstHitCount) {
    const RuleOutcomes& table = outcomes[0];
    winning = table.Id(static_cast<size_t>(first));
    result->AddFiredRuleId(winning);
    if (attached) {
      // The rule's category and confidence, as the walk found them beside
      // its leaf.
      category = known.tag;
      confidence = known.value;
    } else {
      const RuleOutcomes::Entry& rule = table.At(static_cast<size_t>(first));
      category = rule.category;
      confidence = rule.confidence;
    }
  } else {
    RuleSetDefault(0, category, confidence);
  }
  ruleSetChoices[0].category = category;
  ruleSetChoices[0].winningRule = winning;
  ScoreResult* unused = nullptr;  // not read
  FillRuleSetScoreResult(category, confidence, confidence, unused);
  result->SetWinningRuleId(result->GetPrediction() != nullptr ? winning : nullptr);
}

void RuleSetModel::SetUpDictVarIndex(const ScoreCaseRecord* record) {
  if (dictVarIndexReady) return;
  if (record == nullptr || !record->IsReady()) return;
  ScoreDictionary* dictionary = GetDictionary();
  if (dictionary == nullptr) return;

  // Every dictionary variable learns where it sits in this record layout;
  // later records are read at the same positions.
  const std::vector<ScoreDictVar*>& vars = dictionary->GetAllVars();
  const int varCount = dictionary->GetVarCount();
  for (int i = 0; i < varCount && static_cast<size_t>(i) < vars.size(); ++i) {
    ScoreDictVar* var = vars[static_cast<size_t>(i)];
    if (var != nullptr) var->SetCaseIndex(record->GetPosition(var->GetName()));
  }

  for (int m = 0; m < numbOfModels && static_cast<size_t>(m) < ruleCount.size(); ++m) {
    const bool hasRules = static_cast<size_t>(m) < ruleSets.size() && ruleSets[m] != nullptr;
    ruleCount[m] = hasRules ? static_cast<int32_t>(ruleSets[m]->rules.size()) : 0;
  }

  numbOfPredVars = static_cast<int32_t>(predVars.size());
  const size_t categories = numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0;
  ruleSetScores.assign(categories, 0.0);
  modelScores.assign(categories, 0.0);
  scoreSince.assign(categories, -1);
  predVarValues.assign(static_cast<size_t>(numbOfPredVars), NumericValue::GetSysmisValue());

  // Room for every rule of the largest rule set, so that collecting the
  // fired rules never grows the list while records are scored.
  size_t largest = 0;
  for (int32_t count : ruleCount) {
    if (count > 0 && static_cast<size_t>(count) > largest) largest = static_cast<size_t>(count);
  }
  firedScratch.reserve(largest);

  // How each predictor is read, and from which position of the layout
  // bound above.
  encodeSteps.assign(static_cast<size_t>(numbOfPredVars), EncodeStep());
  std::vector<int32_t> derivedUsed;
  for (size_t i = 0; i < encodeSteps.size(); ++i) {
    EncodeStep& step = encodeSteps[i];
    step.var = predVars[i];
    if (step.var == nullptr) continue;
    const int32_t derived = derivedFields != nullptr ? derivedFields->FieldOf(step.var) : -1;
    if (derived >= 0) {
      step.kind = kReadDerived;
      step.position = derived;
      step.coder = step.var->GetValueCoder();
      derivedUsed.push_back(derived);
      continue;
    }
    step.position = step.var->GetCaseIndex();
    step.coder = step.var->GetValueCoder();
    if (step.var->HasMissingValues()) continue;
    const bool isString = i < predVarIsString.size() && predVarIsString[i];
    if (isString && step.coder == nullptr) continue;
    step.kind = isString ? kReadText : kReadNumber;
  }

  // The identifiers go into one table, filled here and never changed after:
  // results share it and read it after the model is gone. A second set-up
  // makes a new table and leaves the old one to the results holding it.
  auto ids = std::make_shared<std::vector<std::string>>();
  std::vector<size_t> firstId(ruleCount.size(), 0);
  outcomes.assign(ruleCount.size(), RuleOutcomes());
  for (size_t m = 0; m < ruleCount.size(); ++m) {
    firstId[m] = ids->size();
    if (ruleCount[m] <= 0 || m >= ruleSets.size() || ruleSets[m] == nullptr) continue;
    const std::vector<ST_Rule>& rules = ruleSets[m]->rules;
    const size_t count = std::min(static_cast<size_t>(ruleCount[m]), rules.size());
    outcomes[m].Reserve(count);
    for (size_t k = 0; k < count; ++k) {
      outcomes[m].Add(rules[k].scoreIndex, numbOfCategories, rules[k].weight, rules[k].confidence);
      ids->push_back(rules[k].ruleId);
    }
  }
  // Only now that the table is complete do its strings stay where they are.
  for (size_t m = 0; m < outcomes.size(); ++m) outcomes[m].SetIds(ids->data() + firstId[m]);
  ruleIdTable = std::move(ids);
  ruleSetChoices.assign(ruleCount.size(), ST_RuleSetChoice());

  // The derived fields read the data fields at the positions bound above,
  // and so do the output fields' expressions, which may read derived fields.
  if (outputFields != nullptr) outputFields->Bind(derivedFields, &derivedUsed);
  if (derivedFields != nullptr) derivedFields->Bind(derivedUsed);
  // A numeric derived predictor is written by the program straight into
  // the value table, encoded as a number cell holding it would be.
  for (size_t i = 0; i < encodeSteps.size() && derivedFields != nullptr; ++i) {
    EncodeStep& step = encodeSteps[i];
    const bool isString = i < predVarIsString.size() && predVarIsString[i];
    if (step.kind != kReadDerived || isString || !derivedFields->IsNumericField(step.position)) {
      continue;
    }
    derivedFields->SetEncodedSlot(step.position, static_cast<int32_t>(i),
                                  NumericValue::GetSysmisValue());
    step.kind = kReadDerivedDirect;
  }
  allNumbers = !encodeSteps.empty();
  anyDirect = false;
  numberCellsNeeded = 0;
  shortWay = !encodeSteps.empty() && encodeSteps.size() <= predVarValues.size();
  for (const EncodeStep& step : encodeSteps) {
    allNumbers = allNumbers && (step.kind == kReadNumber || step.kind == kReadDerivedDirect);
    anyDirect = anyDirect || step.kind == kReadDerivedDirect;
    const bool cell = step.kind == kReadNumber && step.position >= 0;
    shortWay = shortWay && (cell || step.kind == kReadDerivedDirect);
    if (cell) numberCellsNeeded = std::max(numberCellsNeeded, static_cast<size_t>(step.position) + 1);
  }

  SetUpFieldTreatments();

  delete plan;
  plan = nullptr;
  plan = new ScoringPlan(ruleSets, ruleCount, predVarIsString);
  // One rule set under first hit: the rules it counts, found by the plan.
  singleFirstHitCount = 0;
  if (numbOfModels == 1 && !ruleSets.empty() && ruleSets[0] != nullptr && !ruleCount.empty() &&
      ruleCount[0] > 0 && !outcomes.empty() && !ruleSetChoices.empty()) {
    singleFirstHitCount = std::min({static_cast<size_t>(ruleCount[0]), ruleSets[0]->rules.size(),
                                    outcomes[0].Size()});
    // What the short way reads of the winning rule comes with the walk.
    std::vector<LeafValue> values(singleFirstHitCount);
    for (size_t k = 0; k < singleFirstHitCount; ++k) {
      values[k].tag = outcomes[0].At(k).category;
      values[k].value = outcomes[0].At(k).confidence;
    }
    plan->AttachFirstHitValues(0, std::move(values));
  }
  dictVarIndexReady = true;
}

void RuleSetModel::ProcessScoreCase(const ScoreCaseRecord* record, bool& /*flag*/) {
  if (derivedFields != nullptr) derivedFields->Evaluate(record->GetSlots(), predVarValues.data());
  double* out = predVarValues.data();
  const EncodeStep* steps = encodeSteps.data();
  const size_t count = std::min(encodeSteps.size(), predVarValues.size());
  const ScoreCaseRecord::Slots slots = record->GetSlots();
  using Kind = ScoreCaseRecord::Kind;
  if (allNumbers && slots.count != 0) {
    // Every predictor a plain number: read them all without a branch per
    // cell, then check that each cell did hold a number. A cell that did
    // not sends the record down the path below, which reads it again.
    unsigned ok = 1;
    if (!anyDirect) {
      for (size_t i = 0; i < count; ++i) {
        size_t at = static_cast<size_t>(steps[i].position);  // -1 wraps past count
        const unsigned inside = at < slots.count;
        at = inside != 0 ? at : 0;
        ok &= inside & static_cast<unsigned>(slots.kinds[at] == Kind::kNumber);
        out[i] = slots.numbers[at].Number();
      }
    } else {
      // The derived predictors are in place already.
      for (size_t i = 0; i < count; ++i) {
        if (steps[i].kind == kReadDerivedDirect) continue;
        size_t at = static_cast<size_t>(steps[i].position);
        const unsigned inside = at < slots.count;
        at = inside != 0 ? at : 0;
        ok &= inside & static_cast<unsigned>(slots.kinds[at] == Kind::kNumber);
        out[i] = slots.numbers[at].Number();
      }
    }
    recordAllNumbers = ok != 0;
    if (ok != 0) return;
  }
  recordAllNumbers = false;
  EncodeCells(record);
}

// Kept out of line, so that the bulk read above stays small.
[[gnu::noinline]] void RuleSetModel::EncodeCells(const ScoreCaseRecord* record) {
  double* out = predVarValues.data();
  const EncodeStep* steps = encodeSteps.data();
  const size_t count = std::min(encodeSteps.size(), predVarValues.size());
  const ScoreCaseRecord::Slots slots = record->GetSlots();
  using Kind = ScoreCaseRecord::Kind;
  for (size_t i = 0; i < count; ++i) {
    // The common cells first; the general path gives the same codes for them.
    const EncodeStep& step = steps[i];
    if (step.kind == kReadNumber) {
      const size_t at = static_cast<size_t>(step.position);  // -1 wraps past count
      if (at < slots.count && slots.kinds[at] == Kind::kNumber) {
        out[i] = slots.numbers[at].Number();
        continue;
      }
    } else if (step.kind == kReadText) {
      const size_t at = static_cast<size_t>(step.position);
      if (at < slots.count && slots.kinds[at] == Kind::kText) {
        out[i] = LabelValue(step.coder->GetCode(slots.texts[at].GetText()));
        continue;
      }
    } else if (step.kind == kReadDerivedDirect) {
      continue;  // written by the derived-field program
    }
    out[i] = EncodeCell(record, i);
  }
}

double RuleSetModel::EncodeCell(const ScoreCaseRecord* record, size_t i) const {
  const EncodeStep& step = encodeSteps[i];
  if (step.kind == kReadDerived || step.kind == kReadDerivedDirect) {
    // A derived field encodes like a cell holding its value.
    const bool isString = i < predVarIsString.size() && predVarIsString[i];
    const DerivedFieldProgram::Value& value = derivedFields->GetOutput(step.position);
    if (value.kind == DerivedFieldProgram::kMissing) {
      return isString ? -1.0 : NumericValue::GetSysmisValue();
    }
    if (!isString) {
      return value.kind == DerivedFieldProgram::kNumber ? value.number
                                                        : NumericValue::GetSysmisValue();
    }
    return LabelValue(step.coder != nullptr ? step.coder->GetCode(value.text)
                                            : ScoreValueCoder::kNoCode);
  }
  return EncodeValue(step.var != nullptr ? record->GetValue(step.position) : nullptr, i);
}

double RuleSetModel::EncodeValue(const ScoreValue* value, size_t i) const {
  const EncodeStep& step = encodeSteps[i];
  const ScoreDictVar* var = step.var;
  const bool isString = i < predVarIsString.size() && predVarIsString[i];
  if (var == nullptr) value = nullptr;
  if (value == nullptr) return isString ? -1.0 : NumericValue::GetSysmisValue();
  if (!isString) {
    if (var->IsMissingValue(*value)) return NumericValue::GetSysmisValue();
    // A boolean given as text ("true") is read as the field reads it.
    double number = 0.0;
    if (var->IsBoolean() && value->GetValueType() == ScoreValue::kString &&
        var->ParseNumber(value->GetString(), &number)) {
      return number;
    }
    return value->GetDouble();
  }
  // A string is scored by its label code. A text the field declares as
  // missing encodes like an absent value (-1); a text the field does not
  // know is present but equal to nothing: NaN, so that "equal" and "isIn"
  // are false, "notEqual" and "isNotIn" true, and it is not taken for a
  // missing value.
  if (var->IsMissingValue(*value)) return -1.0;
  const ScoreValueCoder* coder = step.coder;
  int code = ScoreValueCoder::kNoCode;
  if (coder != nullptr) {
    const auto* text = dynamic_cast<const StringValue*>(value);
    code = text != nullptr ? coder->GetCode(text->GetText()) : coder->GetCode(*value);
  }
  return LabelValue(code);
}

void RuleSetModel::SetUpScoreResult(ScoreResult*& resultArg) {
  if (resultArg != nullptr && typeid(*resultArg) == typeid(RuleSetResult)) {
    // The usual case: the exact class, no search of the class hierarchy.
    result = static_cast<RuleSetResult*>(resultArg);
    result->RemoveRuleIDs();
    result->ShareRuleIds(ruleIdTable);
    result->SetTarget(targetVar);
    return;
  }
  if (resultArg != nullptr && resultArg->GetScoreResultType() == ScoreResult::kRuleSetResult) {
    // The object the caller passes is the one written for this record, and
    // the one remembered from now on: a caller holding several results, or
    // one that dropped the result handed out earlier, never gets a write
    // into an object it did not pass.
    // A class derived from it still serves.
    auto* own = dynamic_cast<RuleSetResult*>(resultArg);
    if (own != nullptr) {
      result = own;
      result->RemoveRuleIDs();
      result->ShareRuleIds(ruleIdTable);
      result->SetTarget(targetVar);
      return;
    }
  }
  // Null, or a result of another kind: that one is the caller's to give up
  // and is destroyed; a fresh result takes its place.
  delete resultArg;
  resultArg = nullptr;
  result = new RuleSetResult(targetVar);
  result->ShareRuleIds(ruleIdTable);
  result->SetTarget(targetVar);
  resultArg = result;
}

KtScore::KtStatus RuleSetModel::ScoreAllRuleSetModels(const ScoreCaseRecord* /*record*/,
                                                      ScoreResult*& resultArg) {
  if (singleFirstHitCount != 0 && numbOfModels == 1 && !useReferenceWalk && !threeValuedRecord &&
      result != nullptr &&
      (ruleSelectionMethodUsed.empty() || ruleSelectionMethodUsed[0] == firstHit)) {
    ScoreSingleFirstHit();
    return KtScore::KtStatus();
  }
  // Only a vote reads the per-category sums.
  const bool vote = numbOfModels > 1 && modelType != kDecisionListModel;
  if (vote) std::fill(modelScores.begin(), modelScores.end(), 0.0);
  double total = 0.0;
  int category = -1;
  double confidence = 0.0;
  bool anyCategory = false;
  for (int m = 0; m < numbOfModels; ++m) {
    category = -1;
    confidence = 0.0;
    ScoreOneRuleSetModel(m, category, confidence, resultArg);
    if (static_cast<size_t>(m) < ruleSetChoices.size()) {
      ruleSetChoices[static_cast<size_t>(m)].category = category;
    }
    // A rule set that chose no category (no compiled rules, a target
    // without categories, a default naming none) adds to no category's sum
    // and, when it has no confidence either, to no total.
    if (confidence >= 0.0 || category >= 0) total += confidence;
    if (vote && category >= 0 && static_cast<size_t>(category) < modelScores.size()) {
      modelScores[static_cast<size_t>(category)] += confidence;
      anyCategory = true;
    }
  }

  if (vote && (anyCategory || semantics == native)) {
    // The vote: the greatest sum of confidences wins, ties to the lower
    // category index; the cost decision may then move it. With no category
    // at all the last rule set's choice stands.
    int winner = category;
    double best = confidence;
    GetRuleSetScoreResult(modelScores, winner, best);
    FillRuleSetScoreResult(winner, best, total, resultArg);
    // The winning rule is that of the first rule set whose own choice was
    // the category the vote settled on, and that a rule decided.
    if (result != nullptr) {
      for (const ST_RuleSetChoice& choice : ruleSetChoices) {
        if (choice.category == winner && choice.winningRule != nullptr) {
          result->SetWinningRuleId(choice.winningRule);
          break;
        }
      }
    }
  } else {
    // One rule set, or a decision list: the last rule set scored decides.
    FillRuleSetScoreResult(category, confidence, total, resultArg);
    const size_t last = static_cast<size_t>(numbOfModels > 0 ? numbOfModels - 1 : 0);
    if (result != nullptr && last < ruleSetChoices.size()) {
      result->SetWinningRuleId(ruleSetChoices[last].winningRule);
    }
  }
  // Without a prediction no rule decided anything.
  if (result != nullptr && result->GetPrediction() == nullptr) result->SetWinningRuleId(nullptr);
  return KtScore::KtStatus();
}

void RuleSetModel::FillRuleSetScoreResult(int category, double confidence, double total,
                                          ScoreResult*& /*resultArg*/) {
  if (result == nullptr) return;
  const bool known = category >= 0 && category < numbOfCategories &&
                     static_cast<size_t>(category) < categoryValues.size();
  if (!known) {
    // No rule set named a category of the target: no prediction at all
    // rather than a value read from outside the category table. A rule set
    // that chose no category (-1: a default naming none, or none at all
    // under pmml) keeps its confidence (-1 for none).
    result->SetPrediction(nullptr);
    result->SetConfidence(category < 0 ? confidence : 0.0);
    return;
  }
  result->SetPrediction(categoryValues[static_cast<size_t>(category)]);
  if (modelType == kDecisionListModel) {
    // A decision list reports no confidence. The result may have served
    // another model before, so the unset value is written explicitly.
    result->SetConfidence(-1.0);
    return;
  }
  if (numbOfModels > 1 && total > 0.0) confidence /= total;
  result->SetConfidence(confidence);
}

}  // namespace KtZembra_940
