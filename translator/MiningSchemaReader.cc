// Mining schemas: the target and predictor names of every rule-set model,
// and, from the first one, the target of the whole model with its table of
// categories.

#include <initializer_list>
#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/TransformationDictionary.h"
#include "host/XmlDocument.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"
#include "translator/ElementIndex.h"

namespace KtZembra_940 {

namespace {

enum class FieldRole { kPredictor, kTarget, kNone };

// The role a mining field's usage type gives: no usage type means active.
FieldRole RoleOf(const XMLCh* usageType) {
  if (usageType == nullptr || usageType[0] == 0) return FieldRole::kPredictor;
  if (BaseTranslator::IsEqual(usageType, XML_ATT_MF_FUT_ACTIVE)) return FieldRole::kPredictor;
  if (BaseTranslator::IsEqual(usageType, XML_ATT_MF_FUT_PREDICTED) ||
      BaseTranslator::IsEqual(usageType, XML_ATT_MF_FUT_TARGET)) {
    return FieldRole::kTarget;
  }
  return FieldRole::kNone;
}

// The variable a target name stands for: a data field, or else a derived
// field; null when neither dictionary knows it.
const ScoreDictVar* FindTargetVar(const RuleSetModel* model, const std::string& name) {
  const ScoreDictVar* var = nullptr;
  if (const ScoreDictionary* data = model->GetDictionary()) var = data->GetVar(name);
  if (var == nullptr) {
    if (const ScoreDictionary* derived = model->GetTransformationDictionary()) {
      var = derived->GetVar(name);
    }
  }
  return var;
}

// An optional attribute: an empty text counts as absent.
const XMLCh* OptionalAttribute(const xercesc::DOMElement* element, const XMLCh* name) {
  const XMLCh* text = BaseTranslator::GetAttribute(element, name);
  return text == nullptr || text[0] == 0 ? nullptr : text;
}

// The position of `text` among `choices`; an absent text is the first (the
// default), any other text is refused.
int32_t ChoiceOf(const xercesc::DOMElement* field, const XMLCh* attribute,
                 std::initializer_list<const XMLCh*> choices) {
  const XMLCh* text = OptionalAttribute(field, attribute);
  if (text == nullptr) return 0;
  int32_t position = 0;
  for (const XMLCh* choice : choices) {
    if (BaseTranslator::IsEqual(text, choice)) return position;
    ++position;
  }
  ThrowZb(ErrorCode::kUnsupported, text, attribute, XML_ELE_MININGFIELD);
}

}  // namespace

RuleSetModel::ST_FieldTreatment RuleSetTranslator::ReadFieldTreatment(
    const xercesc::DOMElement* field) {
  RuleSetModel::ST_FieldTreatment t;
  t.invalidTreatment = ChoiceOf(field, XML_ATT_MF_INVALIDTREATMENT,
                                {XML_VAL_RETURNINVALID, XML_VAL_ASIS, XML_VAL_ASMISSING, XML_VAL_ASVALUE});
  if (const XMLCh* text = GetAttribute(field, XML_ATT_MF_INVALIDREPLACEMENT)) {
    t.hasInvalidReplacement = true;
    t.invalidReplacement = Transcoder().transcodeTo(text);
  }
  if (t.invalidTreatment == RuleSetModel::invalidAsValue && !t.hasInvalidReplacement) {
    ThrowZb(ErrorCode::kMissingAttribute, XML_ELE_MININGFIELD, XML_ATT_MF_INVALIDREPLACEMENT);
  }
  if (const XMLCh* text = GetAttribute(field, XML_ATT_MF_MISSINGREPLACEMENT)) {
    t.hasMissingReplacement = true;
    t.missingReplacement = Transcoder().transcodeTo(text);
  }
  t.outliers = ChoiceOf(field, XML_ATT_MF_OUTLIERS,
                        {XML_VAL_ASIS, XML_VAL_ASMISSINGVALUES, XML_VAL_ASEXTREMEVALUES});
  if (const XMLCh* text = OptionalAttribute(field, XML_ATT_MF_LOWVALUE)) {
    t.hasLowValue = true;
    t.lowValue = VerifyDouble(text);
  }
  if (const XMLCh* text = OptionalAttribute(field, XML_ATT_MF_HIGHVALUE)) {
    t.hasHighValue = true;
    t.highValue = VerifyDouble(text);
  }
  return t;
}

bool RuleSetTranslator::ParseMiningSchemas(const ElementIndex& index, RuleSetModel* model) {
  const ElementIndex::Span ruleSetModels = index.All(kRuleSetModelTag);
  const size_t n = ruleSetModels.size();
  bool result = false;
  for (size_t i = 0; i < n; ++i) {
    // Every mining field inside the model element, at any depth.
    const ElementIndex::Span fields = index.Within(ruleSetModels[i], kMiningFieldTag);
    // Model numbers never exceed the count of RuleSetModel elements, which
    // the caller has already turned into an int.
    const int m = static_cast<int>(i);

    std::string target;
    std::vector<std::string> predictors;
    for (const ElementIndex::Entry& entry : fields) {
      const xercesc::DOMElement* field = entry.element;
      // A failure names the line of the mining field.
      try {
        switch (RoleOf(GetAttribute(field, XML_ATT_MININGFIELD_USAGETYPE))) {
          case FieldRole::kPredictor:
            predictors.push_back(
                Transcoder().transcodeTo(GetAttributeForced(field, XML_ATT_MININGFIELD_NAME)));
            // Natively the treatments are not read: values count as they come.
            if (semantics == RuleSetModel::pmml) {
              model->SetFieldTreatment(predictors.back(), ReadFieldTreatment(field));
            }
            break;
          case FieldRole::kTarget: {
            // A later target field replaces an earlier one.
            target = Transcoder().transcodeTo(GetAttributeForced(field, XML_ATT_MININGFIELD_NAME));
            model->SetTargetVarNameForModel(m, target);
            const ScoreDictVar* var = FindTargetVar(model, target);
            if (var != nullptr && var->GetMeasureLevel() == ScoreDictVar::kContinuous) {
              // PMML scores a continuous target by a regression rule set.
              const bool regression = IsEqual(
                  GetAttribute(ruleSetModels[i].element, XML_ATT_FUNCTIONNAME), XML_VAL_REGRESSION);
              if (semantics != RuleSetModel::pmml || !regression) {
                ThrowZb(ErrorCode::kScaleTarget, target);
              }
              model->SetRegression(true);
              regressionTarget = true;
            }
            break;
          }
          case FieldRole::kNone:
            break;
        }
      } catch (ZbException& e) {
        e.AddLine(XmlDocument::GetLine(field));
        throw;
      }
    }

    if (m == 0) {
      // The first schema's target is the target of the whole model.
      targetName = target;
      model->SetVarRole(targetName, ScoreModel::kTargetRole);
      targetVariable = dictionary == nullptr ? nullptr : dictionary->GetVar(targetName);
      model->SetUp();
      result = true;
    }
    model->SetPredictorNameForModel(m, predictors);
  }
  return result;
}

}  // namespace KtZembra_940
