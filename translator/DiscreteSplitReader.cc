// Split variables of nominal and ordinal fields: the members a rule accepts,
// from a SimpleSetPredicate or from the simple predicates on one field.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include "host/DiscreteSplit.h"
#include "host/ErrorCodes.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValue.h"
#include "host/StringValue.h"
#include "host/ZbException.h"
#include "plugin/RuleSetTranslator.h"
#include "translator/FieldPredicates.h"

namespace KtZembra_940 {

namespace {

// The number of ordered categories that can be indexed: the declared count,
// but never more than the category list really holds.
int UsableCategoryCount(const ScoreDictVar* var) {
  const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();
  const int listSize = labels == nullptr ? 0 : static_cast<int>(labels->size());
  return std::max(0, std::min(var->GetNumberOfCategories(), listSize));
}

}  // namespace

bool RuleSetTranslator::ParseSetPredicateSplit(const XMLCh* fieldName,
                                               const xercesc::DOMElement* setPredicate,
                                               int splitIndex, SplitList& splits) {
  if (dictionary == nullptr || setPredicate == nullptr) return false;
  const ScoreDictVar* var = FindField(Transcoder().transcodeTo(fieldName));
  if (var == nullptr) return false;
  const int level = var->GetMeasureLevel();
  if (level != ScoreDictVar::kOrdinal && level != ScoreDictVar::kNominal) return false;
  BuildSetSplit(splits, setPredicate, var, splitIndex);
  return true;
}

void RuleSetTranslator::BuildSetSplit(SplitList& splits, const xercesc::DOMElement* setPredicate,
                                      const ScoreDictVar* var, int splitIndex) {
  auto split = std::make_unique<DiscreteSplit>(var);
  const XMLCh* op = GetAttributeForced(setPredicate, XML_ATT_BOOLEANOPERATOR);
  const xercesc::DOMElement* array = GetChildByTagForced(setPredicate, XML_ELE_ARRAY);
  const XMLCh* type = GetAttributeForced(array, XML_ATT_TYPE);
  const std::vector<std::string> items = GetArrayElements(array, type, nullptr);

  const bool isString = IsEqual(type, u"string");
  const bool isNumber = !isString && (IsEqual(type, u"real") || IsEqual(type, u"int"));
  if (!isString && !isNumber) {
    ThrowZb(ErrorCode::kUnsupported, ToString(type), XML_ATT_TYPE, var->GetName());
  }

  if (IsEqual(op, u"isIn")) {
    for (const std::string& item : items) {
      std::unique_ptr<ScoreValue> value;
      double number = 0.0;
      if (var->IsBoolean() && var->ParseNumber(item, &number)) {
        // "true" in a string Array still names a boolean's 1.
        value = std::make_unique<NumericValue>(number);
      } else if (isString) {
        value = std::make_unique<StringValue>(item);
      } else {
        value = std::make_unique<NumericValue>(item);
      }
      if (!var->IsValidValue(*value)) {
        ThrowZb(ErrorCode::kInvalidValue, item, XML_ATT_VALUE);
      }
      split->PutSplit(value.release(), splitIndex);
    }
  } else if (IsEqual(op, u"isNotIn")) {
    // The complement comes from the field's own values, so it needs no
    // validity test.
    for (const std::string& text : Remove(var, items)) {
      std::unique_ptr<ScoreValue> value;
      if (isString) {
        value = std::make_unique<StringValue>(text);
      } else {
        value = std::make_unique<NumericValue>(text);
      }
      split->PutSplit(value.release(), splitIndex);
    }
  } else {
    ThrowZb(ErrorCode::kUnsupported, ToString(op), XML_ATT_OPERATOR, var->GetName());
  }
  splits.push_back(split.get());
  split.release();
}

void RuleSetTranslator::BuildDiscreteSplit(SplitList& splits, const xercesc::DOMElement* parent,
                                           const ScoreDictVar* var, int splitIndex,
                                           const XMLCh* fieldName,
                                           const PredicateSpan* fieldPredicates) {
  const bool nominal = var->GetMeasureLevel() == ScoreDictVar::kNominal;
  const bool stringField = var->GetValueType() == ScoreDictVar::kString;
  const int categoryCount = UsableCategoryCount(var);
  const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();
  int start = 0;
  int end = categoryCount - 1;
  bool success = true;
  int count = 0;
  auto split = std::make_unique<DiscreteSplit>(var);

  FieldPredicates predicates(parent, fieldName, fieldPredicates);
  while (const xercesc::DOMElement* predicate = predicates.Next()) {
    const XMLCh* op = GetAttributeForced(predicate, XML_ATT_OPERATOR);
    const XMLCh* value = GetAttribute(predicate, XML_ATT_VALUE);
    const bool isMissing = IsEqual(op, XML_VAL_OPERATOR_ISMISSING);

    if (isMissing && value != nullptr) {
      ThrowZb(ErrorCode::kValueNotAllowed, XML_ATT_VALUE, XML_VAL_OPERATOR_ISMISSING);
    }
    if (isMissing) {
      split->SetMissvalMap(splitIndex);
      continue;
    }
    if (value == nullptr && IsEqual(op, XML_VAL_OPERATOR_ISNOTMISSING)) {
      split->SetMissvalMap(-2);
      continue;
    }

    int lower = 0;
    int upper = 0;
    if (value != nullptr && value[0] == 0) {
      if (nominal && !IsEqual(op, XML_VAL_OPERATOR_EQUAL)) {
        ThrowZb(ErrorCode::kEmptyValue, XML_ATT_OPERATOR, XML_VAL_OPERATOR_EQUAL);
      }
      if (!stringField) {
        split->SetMissvalMap(splitIndex);
        continue;
      }
      bool emptyIsCategory = false;
      for (int i = 0; i < categoryCount && !emptyIsCategory; ++i) {
        const ScoreValue* category = (*labels)[i];
        emptyIsCategory =
            category != nullptr && IsEqual(&Transcoder(), value, category->GetString());
      }
      if (!emptyIsCategory) {
        // An empty text that names no category stands for a missing value.
        split->SetMissvalMap(splitIndex);
        continue;
      }
      if (nominal) {
        PutCategoryValue(var, split.get(), value, splitIndex);
      } else if (GetOrdinalIndexRange(predicate, var, lower, upper) != 2) {
        start = std::max(start, lower);
        end = std::min(end, upper);
        if (lower > end || upper < start) success = false;
      }
      continue;
    }

    if (nominal) {
      // A comparison without a value names no member: the host's
      // missing-attribute failure says so.
      PutCategoryValue(var, split.get(), GetAttributeForced(predicate, XML_ATT_VALUE),
                       splitIndex);
      ++count;
    } else if (GetOrdinalIndexRange(predicate, var, lower, upper) != 2) {
      // notEqual (result 2) cannot narrow one index range: the range stays.
      start = std::max(start, lower);
      end = std::min(end, upper);
    }
  }

  // Natively several values of a nominal field under one parent, or an
  // empty ordinal range, are refused; PMML reads such predicates as they
  // stand (the split then shows every value named, or none).
  if ((!success || count > 1) && semantics != RuleSetModel::pmml) {
    ThrowZb(ErrorCode::kEmptySelection, var->GetName());
  }
  // An ordinal split that accepts missing values keeps neither range nor
  // members.
  if (!nominal && split->GetMissvalMap() < 0) {
    split->SetStartAndEndIndex(start, end);
    if (labels != nullptr) {
      for (int i = std::max(start, 0); i <= end && i < categoryCount; ++i) {
        const ScoreValue* category = (*labels)[i];
        if (category == nullptr) continue;
        std::unique_ptr<ScoreValue> member;
        if (var->GetValueType() == ScoreDictVar::kNumeric) {
          member = std::make_unique<NumericValue>(category->GetDouble());
        } else {
          member = std::make_unique<StringValue>(category->GetString());
        }
        split->PutSplit(member.release(), splitIndex);
      }
    }
  }
  splits.push_back(split.get());
  split.release();
}

int RuleSetTranslator::GetOrdinalIndexRange(const xercesc::DOMElement* simplePredicate,
                                            const ScoreDictVar* var, int& lowIndex,
                                            int& highIndex) {
  const std::string value =
      Transcoder().transcodeTo(GetAttributeForced(simplePredicate, XML_ATT_VALUE));
  const XMLCh* op = GetAttributeForced(simplePredicate, XML_ATT_OPERATOR);
  const int categoryCount = UsableCategoryCount(var);
  const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();

  int index = -1;
  if (labels != nullptr) {
    const bool numeric = var->GetValueType() == ScoreDictVar::kNumeric;
    double number = 0.0;
    // A text that is no number matches no numeric category.
    const bool comparable = !numeric || var->ParseNumber(value, &number);
    for (int i = 0; comparable && i < categoryCount; ++i) {
      const ScoreValue* category = (*labels)[i];
      if (category == nullptr) continue;
      if (numeric ? category->GetDouble() == number : category->GetString() == value) {
        index = i;
        break;
      }
    }
  }
  const int last = categoryCount - 1;
  if (index < 0) {
    ThrowZb(ErrorCode::kOrdinalValue, value, var->GetName());
  }

  int result = 1;
  if (IsEqual(op, u"greaterThan")) {
    lowIndex = index + 1;
    highIndex = last;
  } else if (IsEqual(op, u"greaterOrEqual")) {
    lowIndex = index;
    highIndex = last;
  } else if (IsEqual(op, u"lessThan")) {
    lowIndex = 0;
    highIndex = index - 1;
  } else if (IsEqual(op, u"lessOrEqual")) {
    lowIndex = 0;
    highIndex = index;
  } else if (IsEqual(op, u"equal")) {
    lowIndex = index;
    highIndex = index;
    result = 0;
  } else if (IsEqual(op, u"notEqual")) {
    lowIndex = index;
    highIndex = index;
    result = 2;
  } else {
    ThrowZb(ErrorCode::kUnsupported, ToString(op), XML_ATT_OPERATOR, var->GetName());
  }
  if (lowIndex > highIndex && semantics != RuleSetModel::pmml) {
    ThrowZb(ErrorCode::kOrdinalNoCategory, ToString(op), var->GetName());
  }
  return result;
}

void RuleSetTranslator::PutCategoryValue(const ScoreDictVar* var, DiscreteSplit* split,
                                         const XMLCh* value, int splitIndex) {
  std::unique_ptr<ScoreValue> member;
  if (var->GetValueType() == ScoreDictVar::kString) {
    member = std::make_unique<StringValue>(Transcoder().transcodeTo(value));
  } else {
    // A boolean field's members are read as 1 and 0.
    const std::string text = Transcoder().transcodeTo(value);
    double number = 0.0;
    if (!var->ParseNumber(text, &number)) ThrowZb(ErrorCode::kNotANumber, text);
    member = std::make_unique<NumericValue>(number);
  }
  if (!var->IsValidValue(*member)) {
    ThrowZb(ErrorCode::kInvalidValue, ToString(value), XML_ATT_VALUE);
  }
  split->PutSplit(member.release(), splitIndex);
}

}  // namespace KtZembra_940
