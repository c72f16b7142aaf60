// The records a document carries to verify its own model (the first
// RuleSetModel's ModelVerification): each InlineTable row is scored and its
// expected outputs compared with what the model gives. The VerificationField
// elements bind a column of the table to a field: an input the model reads,
// the target (its predicted value) or one of the model's output fields.
//
// Numbers agree when the expected value E is within `precision` of the
// result relative to E; when |E| is below `zeroThreshold` the result must
// be as well. Other texts must be equal. An empty cell expects no value.
#ifndef RULESCORE_CLI_MODELVERIFIER_H_
#define RULESCORE_CLI_MODELVERIFIER_H_

#include <map>
#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>

#include "cli/ModelOutline.h"
#include "host/ScoreModel.h"

namespace rulescore {
namespace cli {

class ModelVerifier {
 public:
  // `outline` describes `document`; both must outlive the verifier.
  ModelVerifier(const xercesc::DOMDocument* document, const ModelOutline& outline);
  ModelVerifier(const ModelVerifier&) = delete;
  ModelVerifier& operator=(const ModelVerifier&) = delete;

  // True when the document declares verification records.
  bool HasRecords() const { return !records_.empty(); }
  size_t GetRecordCount() const { return records_.size(); }

  // Scores every record with `model` (translated from the same document)
  // and appends one "verification: ..." line per difference and a summary
  // line. Returns the number of records that did not match.
  size_t Run(KtZembra_940::ScoreModel* model, std::string* report) const;

 private:
  struct Field {
    std::string field;
    std::string column;
    double precision = 1e-6;
    double zeroThreshold = 1e-16;
  };
  // One row: column name to cell text.
  using Record = std::map<std::string, std::string>;

  // True when `actual` (null: no value) agrees with `expected`.
  static bool Agrees(const std::string& expected, const std::string* actual, const Field& field);

  const ModelOutline& outline_;
  std::vector<Field> fields_;
  std::vector<Record> records_;
  std::string problem_;  // what makes the verification unreadable, if anything
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_MODELVERIFIER_H_
