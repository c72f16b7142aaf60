// The `check` command's report on a translated model: its kind, rule sets,
// rules per set and the selection method each uses, the target with its
// categories, the predictors, whether a cost matrix is present, and warnings
// about what translation accepts but is most likely a mistake: a rule or
// default score that names no target category, disabled rules (scored like any other) and CompoundRule
// elements (never scored).
#ifndef RULESCORE_CLI_MODELCHECK_H_
#define RULESCORE_CLI_MODELCHECK_H_

#include <string>
#include <vector>

#include "cli/ModelOutline.h"
#include "host/ScoreModel.h"

namespace rulescore {
namespace cli {

class ModelCheck {
 public:
  // `model` and `outline` describe the same document; both must outlive
  // the check.
  ModelCheck(const KtZembra_940::ScoreModel& model, const ModelOutline& outline);
  ModelCheck(const ModelCheck&) = delete;
  ModelCheck& operator=(const ModelCheck&) = delete;

  // The summary lines followed by one "warning: ..." line per warning, or
  // "warnings: none".
  std::string Report(const std::string& modelPath) const;
  const std::vector<std::string>& GetWarnings() const { return warnings_; }
  // Appends warnings found elsewhere (see SemanticsCheck).
  void AddWarnings(const std::vector<std::string>& warnings) {
    warnings_.insert(warnings_.end(), warnings.begin(), warnings.end());
  }

 private:
  // True when `score` is the text (string target) or the number (numeric
  // target) of one of the target's declared categories.
  bool NamesCategory(const std::string& score) const;

  const KtZembra_940::ScoreModel& model_;
  const ModelOutline& outline_;
  std::vector<std::string> categories_;  // texts of the target's categories
  std::vector<double> numbers_;          // their numbers, for a numeric target
  bool numericTarget_ = false;
  // The target declares no categories: they are the distinct scores.
  bool categoriesFromScores_ = false;
  std::vector<std::string> warnings_;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_MODELCHECK_H_
