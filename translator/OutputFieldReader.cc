#include "translator/OutputFieldReader.h"

#include <string>
#include <utility>

#include <xercesc/dom/DOMDocument.hpp>

#include "host/BaseTranslator.h"
#include "host/ErrorCodes.h"
#include "host/ScoreDictVar.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

namespace {

constexpr XMLCh kOutput[] = u"Output";
constexpr XMLCh kOutputField[] = u"OutputField";
constexpr XMLCh kDataDictionary[] = u"DataDictionary";
constexpr XMLCh kDataField[] = u"DataField";
constexpr XMLCh kValue[] = u"Value";
constexpr XMLCh kName[] = u"name";
constexpr XMLCh kFeature[] = u"feature";
constexpr XMLCh kValueAttribute[] = u"value";
constexpr XMLCh kDisplayValue[] = u"displayValue";
constexpr XMLCh kTargetField[] = u"targetField";
constexpr XMLCh kIsFinalResult[] = u"isFinalResult";
constexpr XMLCh kRuleFeature[] = u"ruleFeature";

using B = BaseTranslator;

bool FeatureOf(const std::string& text, const std::string& ruleFeature,
               OutputFields::Feature* feature) {
  if (text.empty() || text == "predictedValue") {
    *feature = OutputFields::kPredictedValue;
  } else if (text == "predictedDisplayValue") {
    *feature = OutputFields::kPredictedDisplayValue;
  } else if (text == "confidence") {
    *feature = OutputFields::kConfidence;
  } else if (text == "probability") {
    *feature = OutputFields::kProbability;
  } else if (text == "entityId") {
    *feature = OutputFields::kEntityId;
  } else if (text == "ruleId" || (text == "ruleValue" && ruleFeature == "ruleId")) {
    *feature = OutputFields::kRuleId;
  } else if (text == "warning") {
    *feature = OutputFields::kWarning;
  } else {
    return false;
  }
  return true;
}

// The displayValue of each of the target's Value elements in the document's
// DataDictionary.
void ReadDisplayValues(const xercesc::DOMElement* modelElement, const std::string& target,
                       const LumoTranscoder& transcoder, OutputFields* fields) {
  const xercesc::DOMDocument* document = modelElement->getOwnerDocument();
  if (document == nullptr) return;
  const xercesc::DOMElement* root = document->getDocumentElement();
  const xercesc::DOMElement* dictionary = B::GetChildByTag(root, kDataDictionary);
  for (const xercesc::DOMElement* field = B::GetFirstChildElt(dictionary); field != nullptr;
       field = B::GetNextSiblingElt(field)) {
    if (!B::IsEqual(field->getTagName(), kDataField) ||
        transcoder.transcodeTo(B::GetAttribute(field, kName)) != target) {
      continue;
    }
    for (const xercesc::DOMElement* value = B::GetFirstChildElt(field); value != nullptr;
         value = B::GetNextSiblingElt(value)) {
      const XMLCh* display = B::GetAttribute(value, kDisplayValue);
      if (!B::IsEqual(value->getTagName(), kValue) || display == nullptr) continue;
      fields->SetDisplayValue(transcoder.transcodeTo(B::GetAttribute(value, kValueAttribute)),
                              transcoder.transcodeTo(display));
    }
    return;
  }
}

}  // namespace

std::unique_ptr<OutputFields> OutputFieldReader::Read(const xercesc::DOMElement* modelElement,
                                                      const ScoreDictVar* target,
                                                      const LumoTranscoder& transcoder) {
  const xercesc::DOMElement* output = B::GetChildByTag(modelElement, kOutput);
  if (output == nullptr) return nullptr;
  auto fields = std::make_unique<OutputFields>();
  for (const xercesc::DOMElement* element = B::GetFirstChildElt(output); element != nullptr;
       element = B::GetNextSiblingElt(element)) {
    if (!B::IsEqual(element->getTagName(), kOutputField)) continue;
    OutputFields::Field field;
    field.name = transcoder.transcodeTo(B::GetAttributeForced(element, kName));
    const std::string feature = transcoder.transcodeTo(B::GetAttribute(element, kFeature));
    const std::string ruleFeature = transcoder.transcodeTo(B::GetAttribute(element, kRuleFeature));
    if (!FeatureOf(feature, ruleFeature, &field.feature)) {
      ThrowZb(ErrorCode::kOutputFeature, field.name,
              feature == "ruleValue" ? "ruleValue/" + ruleFeature : feature);
    }
    const XMLCh* value = B::GetAttribute(element, kValueAttribute);
    if (value != nullptr &&
        (field.feature == OutputFields::kProbability || field.feature == OutputFields::kConfidence)) {
      field.hasValue = true;
      field.value = transcoder.transcodeTo(value);
    }
    const XMLCh* targetField = B::GetAttribute(element, kTargetField);
    if (targetField != nullptr) {
      const std::string named = transcoder.transcodeTo(targetField);
      if (target == nullptr || named != target->Name()) {
        ThrowZb(ErrorCode::kBadOutputField, field.name,
                "its targetField \"" + named + "\" is not the model's target");
      }
    }
    if (fields->HasField(field.name)) {
      ThrowZb(ErrorCode::kBadOutputField, field.name, "it is declared more than once");
    }
    // A field that is no final result only feeds other output fields; none
    // of the features read here uses another field, so it is not shown.
    if (B::IsEqual(B::GetAttribute(element, kIsFinalResult), u"false")) continue;
    fields->Add(std::move(field));
  }
  if (fields->GetFields().empty()) return nullptr;
  if (target != nullptr) ReadDisplayValues(modelElement, target->Name(), transcoder, fields.get());
  return fields;
}

}  // namespace KtZembra_940
