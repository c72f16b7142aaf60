// Mining schemas: the target and predictor names of every rule-set model,
// and, from the first one, the target of the whole model with its table of
// categories.

#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/TransformationDictionary.h"
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

}  // namespace

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
      switch (RoleOf(GetAttribute(field, XML_ATT_MININGFIELD_USAGETYPE))) {
        case FieldRole::kPredictor:
          predictors.push_back(
              Transcoder().transcodeTo(GetAttributeForced(field, XML_ATT_MININGFIELD_NAME)));
          break;
        case FieldRole::kTarget: {
          // A later target field replaces an earlier one.
          target = Transcoder().transcodeTo(GetAttributeForced(field, XML_ATT_MININGFIELD_NAME));
          model->SetTargetVarNameForModel(m, target);
          const ScoreDictVar* var = FindTargetVar(model, target);
          if (var != nullptr && var->GetMeasureLevel() == ScoreDictVar::kContinuous) {
            ThrowZb(ErrorCode::kScaleTarget, target);
          }
          break;
        }
        case FieldRole::kNone:
          break;
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
