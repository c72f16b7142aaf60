#include "model/OutputFields.h"

#include <cmath>
#include <utility>

#include "host/NumberText.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {

namespace {

void SetNumber(double number, RuleSetResult::OutputValue* out) {
  out->kind = RuleSetResult::OutputValue::kNumber;
  out->number = number;
}

void SetText(const std::string& text, RuleSetResult::OutputValue* out) {
  out->kind = RuleSetResult::OutputValue::kText;
  out->text.assign(text);
}

}  // namespace

const char* OutputFields::FeatureName(Feature feature) {
  switch (feature) {
    case kPredictedValue: return "predictedValue";
    case kPredictedDisplayValue: return "predictedDisplayValue";
    case kConfidence: return "confidence";
    case kProbability: return "probability";
    case kEntityId: return "entityId";
    case kRuleId: return "ruleId";
    case kWarning: return "warning";
    case kTransformedValue: return "transformedValue";
  }
  return "";
}

void OutputFields::Add(Field field) {
  if (field.shown) {
    auto list = std::make_shared<std::vector<std::string>>(*names);
    columns.push_back(static_cast<int32_t>(list->size()));
    list->push_back(field.name);
    names = std::move(list);
  } else {
    columns.push_back(-1);
  }
  fields.push_back(std::move(field));
  prepared = false;
}

void OutputFields::SetProgram(std::unique_ptr<DerivedFieldProgram> fieldProgram) {
  program = std::move(fieldProgram);
  bound = false;
}

void OutputFields::Bind(const DerivedFieldProgram* derived, std::vector<int32_t>* derivedUsed) {
  if (program == nullptr) return;
  derivedCopies.clear();
  std::vector<int32_t> all;
  for (int32_t f = 0; f < program->GetFieldCount(); ++f) {
    all.push_back(f);
    const ScoreDictVar* var = program->GetFieldVar(f);
    if (!program->IsGivenField(f) || var == nullptr) continue;
    const int32_t source = derived != nullptr ? derived->FieldOf(var) : -1;
    derivedCopies.emplace_back(f, source);
    if (source >= 0 && derivedUsed != nullptr) derivedUsed->push_back(source);
  }
  program->Bind(all);
  bound = true;
}

void OutputFields::SetDisplayValue(const std::string& category, const std::string& display) {
  displayValues[category] = display;
}

bool OutputFields::HasField(const std::string& name) const {
  for (const Field& field : fields) {
    if (field.name == name) return true;
  }
  return false;
}

int OutputFields::CategoryOf(const RuleSetModel& model, const std::string& text) const {
  const std::vector<ScoreValue*>& categories = model.GetCategoryValues();
  double number = 0.0;
  const bool numeric = !model.IsTargetString() && NumberText::ParseDouble(text, &number);
  for (size_t i = 0; i < categories.size(); ++i) {
    const ScoreValue* category = categories[i];
    if (category == nullptr) continue;
    if (numeric ? category->GetDouble() == number : category->GetString() == text) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void OutputFields::Prepare(const RuleSetModel& model) {
  fieldCategory.assign(fields.size(), -1);
  for (size_t f = 0; f < fields.size(); ++f) {
    if (fields[f].hasValue) fieldCategory[f] = CategoryOf(model, fields[f].value);
  }
  ruleShares.clear();
  const size_t categories = model.GetCategoryValues().size();
  for (const std::vector<SimpleRule*>& rules : model.GetSimpleRules()) {
    for (const SimpleRule* rule : rules) {
      if (rule == nullptr || rule->GetAllValuePercent().empty()) continue;
      const std::string id = rule->GetRuleID();
      if (ruleShares.count(id) != 0) continue;  // the first rule of an identifier decides
      // A share is the count over the rule's record count; a rule without
      // a record count shares out the counts its distribution lists.
      std::vector<double> shares(categories, 0.0);
      double sum = 0.0;
      for (const SimpleRule::ValuePercent& entry : rule->GetAllValuePercent()) {
        if (entry.first == nullptr) continue;
        sum += entry.second;
        const int category = CategoryOf(model, entry.first->GetString());
        if (category >= 0) shares[static_cast<size_t>(category)] += entry.second;
      }
      if (!(rule->GetRecordCountValue() >= 1.0) && sum > 0.0) {
        for (double& share : shares) share /= sum;
      }
      ruleShares.emplace(id, std::move(shares));
    }
  }
  prepared = true;
}

double OutputFields::Probability(int category, int predicted,
                                 const std::vector<double>* shares) const {
  if (shares != nullptr) {
    return category >= 0 && static_cast<size_t>(category) < shares->size()
               ? (*shares)[static_cast<size_t>(category)]
               : 0.0;
  }
  return category >= 0 && category == predicted ? 1.0 : 0.0;
}

void OutputFields::Evaluate(const RuleSetModel& model, const ScoreCaseRecord* record,
                            RuleSetResult* result) {
  if (result == nullptr) return;
  if (!prepared) Prepare(model);
  std::vector<RuleSetResult::OutputValue>& values = result->SetOutputNames(names);

  const ScoreValue* prediction = result->GetPrediction();
  const std::vector<ScoreValue*>& categories = model.GetCategoryValues();
  int predicted = -1;
  for (size_t i = 0; prediction != nullptr && i < categories.size(); ++i) {
    if (categories[i] == prediction) {
      predicted = static_cast<int>(i);
      break;
    }
  }
  const std::string& winning = result->GetWinningRuleId();
  const std::vector<double>* shares = nullptr;
  if (!winning.empty()) {
    const auto found = ruleShares.find(winning);
    if (found != ruleShares.end()) shares = &found->second;
  }
  const double confidence = result->GetConfidence();
  const bool hasConfidence = prediction != nullptr && confidence >= 0.0 && std::isfinite(confidence);

  const bool withProgram = program != nullptr && bound;
  for (size_t f = 0; f < fields.size(); ++f) {
    const Field& field = fields[f];
    const int32_t column = columns[f];
    // A field without a column is computed only for the expressions.
    if (column < 0 && !withProgram) continue;
    if (column >= 0 && static_cast<size_t>(column) >= values.size()) continue;
    RuleSetResult::OutputValue& out = column >= 0 ? values[static_cast<size_t>(column)] : hidden;
    out.kind = RuleSetResult::OutputValue::kMissing;
    switch (field.feature) {
      case kPredictedValue:
        if (prediction == nullptr) break;
        if (prediction->GetValueType() == ScoreValue::kNumeric) {
          SetNumber(prediction->GetDouble(), &out);
        } else {
          SetText(prediction->GetString(), &out);
        }
        break;
      case kPredictedDisplayValue: {
        if (prediction == nullptr) break;
        const std::string text = prediction->GetString();
        const auto display = displayValues.find(text);
        SetText(display == displayValues.end() ? text : display->second, &out);
        break;
      }
      case kConfidence:
        if (!hasConfidence) break;
        // Asked for another category than the predicted one: that one was
        // not chosen, so it carries no confidence.
        SetNumber(!field.hasValue || fieldCategory[f] == predicted ? confidence : 0.0, &out);
        break;
      case kProbability:
        if (prediction == nullptr) break;
        SetNumber(Probability(field.hasValue ? fieldCategory[f] : predicted, predicted, shares),
                  &out);
        break;
      case kEntityId:
      case kRuleId:
        if (!winning.empty()) SetText(winning, &out);
        break;
      case kWarning: {
        // A text a categorical predictor does not know is scored as equal
        // to none of its values; the record says so.
        warnings.clear();
        const std::vector<double>& encoded = model.GetPredVarValues();
        const std::vector<bool>& isString = model.GetPredVarIsString();
        const std::vector<const ScoreDictVar*>& vars = model.GetPredVars();
        for (size_t i = 0; i < encoded.size() && i < isString.size() && i < vars.size(); ++i) {
          if (!isString[i] || !std::isnan(encoded[i]) || vars[i] == nullptr) continue;
          if (!warnings.empty()) warnings.append("; ");
          warnings.append("the value of ").append(vars[i]->Name()).append(
              " is none of its categories");
        }
        if (!warnings.empty()) SetText(warnings, &out);
        break;
      }
      case kTransformedValue:
        break;  // the program computes it, below
    }
    if (withProgram && field.feature != kTransformedValue && field.slot >= 0) {
      given.kind = out.kind == RuleSetResult::OutputValue::kNumber
                       ? DerivedFieldProgram::kNumber
                       : (out.kind == RuleSetResult::OutputValue::kText ? DerivedFieldProgram::kText
                                                                        : DerivedFieldProgram::kMissing);
      given.number = out.number;
      if (out.kind == RuleSetResult::OutputValue::kText) given.text.assign(out.text);
      program->SetValue(field.slot, given);
    }
  }
  if (withProgram) EvaluateProgram(model, record, values);
}

void OutputFields::EvaluateProgram(const RuleSetModel& model, const ScoreCaseRecord* record,
                                   std::vector<RuleSetResult::OutputValue>& values) {
  const DerivedFieldProgram* derived = model.GetDerivedFieldProgram();
  for (const std::pair<int32_t, int32_t>& copy : derivedCopies) {
    if (derived != nullptr && copy.second >= 0) {
      program->SetValue(copy.first, derived->GetOutput(copy.second));
    } else {
      program->SetValue(copy.first, DerivedFieldProgram::Value());
    }
  }
  const ScoreCaseRecord::Slots none{nullptr, nullptr, nullptr, 0};
  program->Evaluate(record != nullptr ? record->GetSlots() : none);
  for (size_t f = 0; f < fields.size(); ++f) {
    const Field& field = fields[f];
    const int32_t column = columns[f];
    if (field.feature != kTransformedValue || column < 0 ||
        static_cast<size_t>(column) >= values.size()) {
      continue;
    }
    RuleSetResult::OutputValue& out = values[static_cast<size_t>(column)];
    const DerivedFieldProgram::Value& value = program->GetOutput(field.slot);
    if (value.kind == DerivedFieldProgram::kNumber) {
      SetNumber(value.number, &out);
    } else if (value.kind == DerivedFieldProgram::kText) {
      SetText(value.text, &out);
    } else {
      out.kind = RuleSetResult::OutputValue::kMissing;
    }
  }
}

}  // namespace KtZembra_940
