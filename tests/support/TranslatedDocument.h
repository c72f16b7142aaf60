// A PMML text parsed and translated for a test, with everything the model
// needs kept alive in the right order, and the failure of a translation as
// code and arguments.
#ifndef RULESCORE_TESTS_SUPPORT_TRANSLATEDDOCUMENT_H_
#define RULESCORE_TESTS_SUPPORT_TRANSLATEDDOCUMENT_H_

#include <memory>
#include <string>
#include <vector>

#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {
namespace testing_support {

// Members are destroyed in reverse order: the model, then the translator
// (its transcoder is a Xerces object), the document, and last the platform.
struct TranslatedDocument {
  XmlPlatform platform;
  std::unique_ptr<XmlDocument> document;
  std::unique_ptr<RuleSetTranslator> translator;
  std::unique_ptr<RuleSetModel> model;

  // The split variables of rule set 0's first rule.
  const std::vector<ScoreSplitVar*>& Splits() const;
};

// Parses `pmml` under the file name `fileName` and translates it under
// `semantics` (the translator's option); failures are thrown on. `model` is
// null when the translator returns none.
std::unique_ptr<TranslatedDocument> TranslateDocument(const std::string& pmml,
                                                      const std::string& fileName,
                                                      const std::string& semantics = "native");

struct TranslationFailure {
  int code = 0;  // 0: the document was accepted
  std::vector<std::string> args;
};

TranslationFailure TranslationFailureOf(const std::string& pmml, const std::string& fileName,
                                        const std::string& semantics = "native");

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_TRANSLATEDDOCUMENT_H_
