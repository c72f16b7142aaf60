// What `check` says about a document read under the native semantics: one
// warning per reason why the document would score differently under the
// pmml semantics (rules without weight or confidence, fields whose declared
// Values or Intervals some inputs may fall outside, MiningField treatments
// that are not applied natively, comparisons that can see a missing value,
// rule sets without a default score, a regression function). Read from the
// parsed document alone.
#ifndef RULESCORE_CLI_SEMANTICSCHECK_H_
#define RULESCORE_CLI_SEMANTICSCHECK_H_

#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>

namespace rulescore {
namespace cli {

class SemanticsCheck {
 public:
  // REQUIRES: `document` is a parsed PMML document.
  explicit SemanticsCheck(const xercesc::DOMDocument* document);
  SemanticsCheck(const SemanticsCheck&) = delete;
  SemanticsCheck& operator=(const SemanticsCheck&) = delete;

  // One text per reason, each naming the option; empty when the document
  // scores alike under both semantics.
  const std::vector<std::string>& GetWarnings() const { return warnings_; }

 private:
  std::vector<std::string> warnings_;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_SEMANTICSCHECK_H_
