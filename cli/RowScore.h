// What scoring one input row produced, in the form the output writers need.
#ifndef RULESCORE_CLI_ROWSCORE_H_
#define RULESCORE_CLI_ROWSCORE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rulescore {
namespace cli {

struct RowScore {
  // False when the row could not be scored; `error` then says why.
  bool ok = false;
  std::string error;
  bool hasPrediction = false;
  // The prediction's text; for a numeric target, the shortest text that
  // reads back to the same double.
  std::string prediction;
  bool predictionIsNumber = false;
  bool hasConfidence = false;
  double confidence = 0.0;
  // The confidence's shortest text when the scorer made it (empty: the
  // writer makes it from `confidence`).
  std::string confidenceText;
  // The identifier of the rule that decided; empty when a default did.
  std::string winningRule;
  // Identifiers of the rules that fired, in firing order. Kept from row to
  // row so that their capacity is reused.
  std::vector<std::string> firedRules;
  // The values of the model's output fields, in the order of their names;
  // `isNumber` says a value is written as a number, `isMissing` that it
  // has none. Kept from row to row like `firedRules`.
  struct Output {
    bool isMissing = true;
    bool isNumber = false;
    std::string text;
  };
  std::vector<Output> outputs;

  // A row scored in a block names its prediction, winning rule and fired
  // rules by the scorer's texts (which outlive the block's output) instead
  // of copying them into the strings above; the accessors read either form.
  const std::string* predictionRef = nullptr;
  const std::string* winningRuleRef = nullptr;
  const std::vector<std::string>* ruleIds = nullptr;
  const int32_t* firedIndices = nullptr;  // into *ruleIds, firedIndexCount of them
  size_t firedIndexCount = 0;

  std::string_view Prediction() const {
    return predictionRef != nullptr ? std::string_view(*predictionRef) : std::string_view(prediction);
  }
  std::string_view WinningRule() const {
    return winningRuleRef != nullptr ? std::string_view(*winningRuleRef)
                                     : std::string_view(winningRule);
  }
  size_t FiredCount() const {
    return ruleIds != nullptr ? firedIndexCount : firedRules.size();
  }
  std::string_view FiredRule(size_t k) const {
    if (ruleIds == nullptr) return firedRules[k];
    const int32_t rule = firedIndices[k];
    return rule >= 0 && static_cast<size_t>(rule) < ruleIds->size()
               ? std::string_view((*ruleIds)[static_cast<size_t>(rule)])
               : std::string_view();
  }

  void Reset() {
    predictionRef = nullptr;
    winningRuleRef = nullptr;
    ruleIds = nullptr;
    firedIndices = nullptr;
    firedIndexCount = 0;
    ok = false;
    error.clear();
    hasPrediction = false;
    prediction.clear();
    predictionIsNumber = false;
    hasConfidence = false;
    confidence = 0.0;
    confidenceText.clear();
    winningRule.clear();
    firedRules.clear();
    for (Output& output : outputs) {
      output.isMissing = true;
      output.isNumber = false;
      output.text.clear();
    }
  }
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_ROWSCORE_H_
