#include "translator/OutputFieldReader.h"

#include <string>
#include <utility>

#include <xercesc/dom/DOMDocument.hpp>

#include "host/BaseTranslator.h"
#include "host/ErrorCodes.h"
#include "host/ScoreDictVar.h"
#include "host/XmlDocument.h"
#include "host/ZbException.h"
#include "translator/DerivedFieldCompiler.h"

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
constexpr XMLCh kDataType[] = u"dataType";
constexpr XMLCh kExtension[] = u"Extension";
constexpr XMLCh kDecisions[] = u"Decisions";

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
  } else if (text == "transformedValue") {
    *feature = OutputFields::kTransformedValue;
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

// The ScoreDictVar data type of a dataType text; -1 for none given.
int DataTypeOf(const std::string& name, const std::string& text) {
  if (text.empty()) return -1;
  if (text == "string") return ScoreDictVar::kDataString;
  if (text == "integer") return ScoreDictVar::kDataInteger;
  if (text == "float") return ScoreDictVar::kDataFloat;
  if (text == "double") return ScoreDictVar::kDataDouble;
  if (text == "boolean") return ScoreDictVar::kDataBoolean;
  ThrowZb(ErrorCode::kBadOutputField, name, "its dataType \"" + text + "\" is not known");
}

// The expression of a transformedValue field: its first child that is no
// Extension or Decisions; refused when there is none.
const xercesc::DOMElement* ExpressionOf(const xercesc::DOMElement* element,
                                        const std::string& name) {
  for (const xercesc::DOMElement* child = B::GetFirstChildElt(element); child != nullptr;
       child = B::GetNextSiblingElt(child)) {
    if (B::IsEqual(child->getTagName(), kExtension) || B::IsEqual(child->getTagName(), kDecisions)) {
      continue;
    }
    return child;
  }
  ThrowZb(ErrorCode::kBadOutputField, name, "its transformedValue has no expression");
}

// Compiles the expression of a transformedValue field. The failures of the
// derived-field compiler name a derived field; here they name the output
// field, with the same reason and the line of the element at fault.
int32_t CompileExpression(DerivedFieldCompiler* compiler, const std::string& name, int dataType,
                          const xercesc::DOMElement* expression) {
  try {
    return compiler->AddExpressionField(name, dataType, expression);
  } catch (const ZbException& e) {
    const std::vector<std::string>& args = e.GetArguments();
    std::string reason;
    if (e.GetErrorCode() == ErrorCode::kUnknownFunction && args.size() == 2) {
      reason = "its expression calls the unknown function \"" + args[1] + "\"";
    } else if (e.GetErrorCode() == ErrorCode::kBadExpression && args.size() == 3) {
      reason = "its expression: " + args[1] + " " + args[2];
    } else {
      throw;
    }
    ZbException renamed(gErrorFormater);
    renamed.PutErrorMessage(ErrorCode::kBadOutputField, name, reason);
    renamed.AddLine(e.GetLine());
    renamed.AddField(name);
    throw renamed;
  }
}

// Reads one OutputField into `fields`, as a field of `compiler`'s program.
void ReadField(const xercesc::DOMElement* element, const ScoreDictVar* target,
               const LumoTranscoder& transcoder, DerivedFieldCompiler* compiler,
               OutputFields* fields, bool* anyExpression) {
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
  if (field.feature == OutputFields::kTransformedValue) {
    field.dataType =
        DataTypeOf(field.name, transcoder.transcodeTo(B::GetAttribute(element, kDataType)));
    field.slot = CompileExpression(compiler, field.name, field.dataType,
                                   ExpressionOf(element, field.name));
    *anyExpression = true;
  } else {
    field.slot = compiler->AddGivenField(field.name);
  }
  // A field that is no final result only feeds the expressions of others.
  field.shown = !B::IsEqual(B::GetAttribute(element, kIsFinalResult), u"false");
  fields->Add(std::move(field));
}

}  // namespace

std::unique_ptr<OutputFields> OutputFieldReader::Read(const xercesc::DOMElement* modelElement,
                                                      const ScoreDictVar* target,
                                                      const LumoTranscoder& transcoder,
                                                      const ScoreDictionary* data,
                                                      const ScoreDictionary* derived) {
  const xercesc::DOMElement* output = B::GetChildByTag(modelElement, kOutput);
  if (output == nullptr) return nullptr;
  auto fields = std::make_unique<OutputFields>();
  // Every field is a field of the compiler's program, so that an
  // expression reads the fields before it by name; the program is kept
  // only when some field has an expression.
  DerivedFieldCompiler compiler(transcoder, data, derived);
  bool anyExpression = false;
  for (const xercesc::DOMElement* element = B::GetFirstChildElt(output); element != nullptr;
       element = B::GetNextSiblingElt(element)) {
    if (!B::IsEqual(element->getTagName(), kOutputField)) continue;
    try {
      ReadField(element, target, transcoder, &compiler, fields.get(), &anyExpression);
    } catch (ZbException& e) {
      e.AddLine(XmlDocument::GetLine(element));
      throw;
    }
  }
  if (fields->GetNames()->empty()) return nullptr;
  std::unique_ptr<DerivedFieldProgram> program = compiler.FinishFields();
  if (anyExpression) fields->SetProgram(std::move(program));
  if (target != nullptr) ReadDisplayValues(modelElement, target->Name(), transcoder, fields.get());
  return fields;
}

}  // namespace KtZembra_940
