// The translator frame: creates the model, reads the document's dictionaries
// into it and hands the document to the model-level reader.

#include "plugin/RuleSetTranslator.h"

#include <memory>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include "host/PMMLModelTags.h"
#include "host/ScoreDictionary.h"
#include "host/ScoringLog.h"
#include "host/TransformationDictionary.h"
#include "host/ZbException.h"
#include "model/DerivedFieldProgram.h"
#include "model/RuleSetModel.h"
#include "translator/DerivedFieldCompiler.h"
#include "translator/ElementIndex.h"

namespace KtZembra_940 {

namespace {

constexpr char kParseFromTree[] = "KtZembra_940::RuleSetTranslator::ParseFromTree";
constexpr char kSemanticsOption[] = "semantics";

}  // namespace

RuleSetTranslator::RuleSetTranslator() : PMMLTranslator(std::string()) {}

RuleSetTranslator::~RuleSetTranslator() = default;

bool RuleSetTranslator::SetOption(const std::string& name, const std::string& value) {
  RuleSetModel::Semantics parsed = RuleSetModel::native;
  if (name != kSemanticsOption || !RuleSetModel::SemanticsFromName(value, &parsed)) return false;
  semantics = parsed;
  return true;
}

ScoreModel* RuleSetTranslator::ParseFromTree(xercesc::DOMDocument* document,
                                             const std::string& encoding) {
  if (!quiet) ScoringLog::GetInstance().TraceText(1, "Enter:%s", kParseFromTree);
  RuleSetModel* model = nullptr;
  if (document != nullptr) {
    // The fields point into the previous parse's model, which the host may
    // have deleted since; nothing of it is used again.
    targetName.clear();
    regressionTarget = false;
    dictionary = nullptr;
    derivedFields = nullptr;
    targetVariable = nullptr;
    documentIndex.reset();
    // The index points into the document, which the host may release once
    // the model is built: it lives for this parse only.
    struct IndexReset {
      std::unique_ptr<ElementIndex>& index;
      ~IndexReset() { index.reset(); }
    } indexReset{documentIndex};
    try {
      model = new RuleSetModel();
      model->SetSemantics(static_cast<RuleSetModel::Semantics>(semantics));
      CreateTranscoder(encoding);
      // The model-level reader looks the target up in the model's
      // dictionary, and the transformation dictionary is built over it, so
      // this order is fixed.
      ParseDataDictionary(document, model);
      ParseTransformationDictionary(document, model);
      if (!ParseRuleSetModels(document, model)) {
        delete model;
        model = nullptr;
      }
    } catch (const ZbException& e) {
      // The half-built model owns the dictionaries; the fields would dangle.
      delete model;
      dictionary = nullptr;
      derivedFields = nullptr;
      targetVariable = nullptr;
      ZbException refusal(e);
      // A document refused natively that the pmml semantics reads says so.
      if (semantics == RuleSetModel::native && AcceptedUnderPmml(document, encoding)) {
        refusal.AppendMessageLine(
            "The document is accepted under the semantics pmml (option semantics=pmml).");
      }
      throw refusal;
    } catch (...) {
      // Anything else (std::bad_alloc, a Xerces exception) passes unchanged,
      // but never leaves the model behind.
      delete model;
      dictionary = nullptr;
      derivedFields = nullptr;
      targetVariable = nullptr;
      throw;
    }
    if (model == nullptr) {
      dictionary = nullptr;
      derivedFields = nullptr;
      targetVariable = nullptr;
    }
  }
  if (!quiet) ScoringLog::GetInstance().TraceText(1, "Exit:%s", kParseFromTree);
  return model;
}

bool RuleSetTranslator::AcceptedUnderPmml(xercesc::DOMDocument* document,
                                          const std::string& encoding) {
  RuleSetTranslator other;
  other.SetOption(kSemanticsOption, RuleSetModel::SemanticsName(RuleSetModel::pmml));
  // A trial: it leaves no lines in the trace.
  other.quiet = true;
  try {
    std::unique_ptr<ScoreModel> model(other.ParseFromTree(document, encoding));
    return model != nullptr;
  } catch (...) {
    return false;
  }
}

bool RuleSetTranslator::ParseDataDictionary(xercesc::DOMDocument* document,
                                            RuleSetModel* model) {
  const xercesc::DOMElement* root = document->getDocumentElement();
  const xercesc::DOMElement* element = GetChildByTagForced(root, XML_ELE_DATADICTIONARY);
  dictionary = ParseDictionary(element, true);
  if (dictionary == nullptr) return false;
  // The model owns the dictionary from here on; the translator only looks.
  model->SetScoreDictionary(dictionary);
  return true;
}

bool RuleSetTranslator::ParseTransformationDictionary(xercesc::DOMDocument* document,
                                                      RuleSetModel* model) {
  const xercesc::DOMElement* root = document->getDocumentElement();
  const xercesc::DOMElement* element = GetChildByTag(root, XML_ELE_TRANSFORMATION);
  // Each model's LocalTransformations join the document's derived fields:
  // the rule sets of one document are scored together, from one record.
  std::vector<const xercesc::DOMElement*> locals;
  for (const xercesc::DOMElement* child = GetFirstChildElt(root); child != nullptr;
       child = GetNextSiblingElt(child)) {
    if (!IsEqual(child->getTagName(), XML_ELE_RULESETMODEL)) continue;
    if (const xercesc::DOMElement* local = GetChildByTag(child, XML_ELE_LOCALTRANSFORMATIONS)) {
      locals.push_back(local);
    }
  }
  if (element == nullptr && locals.empty()) return false;
  std::unique_ptr<TransformationDictionary> transformation(
      element != nullptr ? HandleTransformationDictionary(element, model->GetDictionary())
                         : new TransformationDictionary(model->GetDictionary()));
  if (transformation == nullptr) return false;
  for (const xercesc::DOMElement* local : locals) AddDerivedFields(local, transformation.get());
  transformation->SetUpDerivedCaseRecord();

  DerivedFieldCompiler compiler(Transcoder(), model->GetDictionary(), transformation.get());
  compiler.AddElement(element);
  for (const xercesc::DOMElement* local : locals) compiler.AddElement(local);
  std::unique_ptr<DerivedFieldProgram> program = compiler.Compile();

  derivedFields = transformation.get();
  model->SetTransformationScoreDictionary(transformation.release());
  model->SetDerivedFieldProgram(program.release());
  return true;
}

const ScoreDictVar* RuleSetTranslator::FindField(const std::string& name) const {
  const ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(name) : nullptr;
  if (var == nullptr && derivedFields != nullptr) var = derivedFields->GetVar(name);
  return var;
}

}  // namespace KtZembra_940
