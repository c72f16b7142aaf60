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
  // The confidence's shortest text when the scorer made it (size 0: the
  // writer makes it from `confidence`). Held in the row itself: a copy of a
  // few bytes, with no allocation and no string to keep per row.
  static constexpr size_t kConfidenceTextCapacity = 32;
  char confidenceText[kConfidenceTextCapacity];
  unsigned char confidenceTextSize = 0;
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
  // With the references above: a bit per byte value (four words) set for
  // every byte any of the scorer's prediction and rule texts holds, so that
  // a writer learns with a few tests that none of them needs quotes.
  const uint64_t* textBytes = nullptr;

  std::string_view ConfidenceText() const {
    return std::string_view(confidenceText, confidenceTextSize);
  }
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
    textBytes = nullptr;
    ok = false;
    error.clear();
    hasPrediction = false;
    prediction.clear();
    predictionIsNumber = false;
    hasConfidence = false;
    confidence = 0.0;
    confidenceTextSize = 0;
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
