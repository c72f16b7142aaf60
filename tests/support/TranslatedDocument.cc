#include "tests/support/TranslatedDocument.h"

#include <stdexcept>

#include "host/ZbException.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {
namespace testing_support {

const std::vector<ScoreSplitVar*>& TranslatedDocument::Splits() const {
  return model->GetSimpleRules().at(0).at(0)->GetSplitVar();
}

std::unique_ptr<TranslatedDocument> TranslateDocument(const std::string& pmml,
                                                      const std::string& fileName,
                                                      const std::string& semantics) {
  auto t = std::make_unique<TranslatedDocument>();
  t->document = XmlDocument::ParseBuffer(pmml.data(), pmml.size(), fileName);
  t->translator = std::make_unique<RuleSetTranslator>();
  if (!t->translator->SetOption("semantics", semantics)) {
    throw std::invalid_argument("semantics: " + semantics);
  }
  ScoreModel* model =
      t->translator->ParseFromTree(t->document->GetDocument(), t->document->GetEncoding());
  t->model.reset(dynamic_cast<RuleSetModel*>(model));
  if (model != nullptr && t->model == nullptr) delete model;
  return t;
}

TranslationFailure TranslationFailureOf(const std::string& pmml, const std::string& fileName,
                                        const std::string& semantics) {
  TranslationFailure failure;
  try {
    TranslateDocument(pmml, fileName, semantics);
  } catch (const ZbException& e) {
    failure.code = e.GetErrorCode();
    failure.args = e.GetArguments();
  }
  return failure;
}

}  // namespace testing_support
}  // namespace KtZembra_940
