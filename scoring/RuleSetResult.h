// The result a rule-set model hands out for one record: the predicted
// category value, its confidence, the target and the identifiers of the
// rules that fired, in firing order, and the identifier of the rule that
// decided the prediction.
//
// The identifiers a model appends live in an immutable table that the model
// shares with every result it writes into, so they stay readable after the
// model is deleted. The prediction and the target point into the model and
// its dictionary: they are read while those live. The identifier list is
// written out on the first read after a record, so one result is not read
// from two threads at once.
//
// The accessors of the fired-rule list are inline so that a host program that
// loads the plug-in at run time can read them without linking against it.
#ifndef RULESCORE_SCORING_RULESETRESULT_H_
#define RULESCORE_SCORING_RULESETRESULT_H_

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/ScoreClsResult.h"

namespace KtZembra_940 {

class ScoreDictVar;
class ScoreValue;

class RuleSetResult : public ScoreClsResult {
 public:
  explicit RuleSetResult(const ScoreDictVar* forTarget) : target(forTarget) {}
  ~RuleSetResult() override;

  // Final and inline: the model writes them for every record.
  void SetPrediction(ScoreValue* value) final { prediction = value; }
  const ScoreValue* GetPrediction() const final { return prediction; }
  const ScoreDictVar* GetTarget() const override;
  void SetConfidence(double value) final { confidence = value; }
  double GetConfidence() const final { return confidence; }
  ResultType GetScoreResultType() const override;
  // This result never carries a distribution.
  bool AddValuePercent(ScoreValue* value, double percent) override;
  double GetPercent(const ScoreValue* value) const override;
  const std::vector<ValuePercent>& GetAllValuePercent() const override;

  std::string GetFirstRuleID() const {
    return fired.empty() ? std::string() : *fired.front();
  }
  std::vector<std::string> GetRuleIDFire() const { return GetFiredRuleIds(); }
  // The identifier of the rule that decided the prediction: the first fired
  // rule of the chosen category under a weighted sum, the chosen rule
  // otherwise; empty when the default score decided.
  std::string GetWinningRuleID() const { return GetWinningRuleId(); }
  // The same without a copy; valid until the next record or RemoveRuleIDs.
  const std::string& GetWinningRuleId() const {
    return winning == nullptr ? noRule : *winning;
  }
  // The fired identifiers without a copy. The list is written out when
  // first asked for after a record; its strings keep their buffers from
  // record to record, so reading it allocates nothing once they have grown.
  const std::vector<std::string>& GetFiredRuleIds() const {
    if (idsStale) WriteRuleIds();
    return ruleIds;
  }
  // Appends one identifier at the end (a copy of it).
  void SetRuleIDFire(const std::string& ruleId);
  // Appends the identifier `ruleId` points at, without a copy.
  // REQUIRES: `ruleId` lies in the table last given to ShareRuleIds, or in
  // this result's own copies.
  void AddFiredRuleId(const std::string* ruleId) {
    fired.push_back(ruleId);
    idsStale = true;
  }
  // Names the rule that decided (null: the default did); same requirement
  // as AddFiredRuleId.
  void SetWinningRuleId(const std::string* ruleId) { winning = ruleId; }
  // Keeps `table` alive for as long as this result may point into it. Only
  // a different table costs anything, so a model hands its table over on
  // every record.
  void ShareRuleIds(const std::shared_ptr<const std::vector<std::string>>& table) {
    if (idTable != table) idTable = table;
  }
  // Empties the list and forgets the winning rule.
  void RemoveRuleIDs() {
    fired.clear();
    winning = nullptr;
    if (!ownedIds.empty()) ownedIds.clear();
    idsStale = true;
  }
  void SetTarget(const ScoreDictVar* newTarget) { target = newTarget; }
  // The fired identifiers as the model appended them, in firing order.
  const std::vector<const std::string*>& GetFiredRulePointers() const { return fired; }
  // Why the record got no prediction when scoring answered an error status
  // for the record's input (an invalid value under returnInvalid); empty
  // otherwise.
  const std::string& GetErrorText() const { return errorText; }
  void SetErrorText(const std::string& text) { errorText = text; }

  // One value of a model's declared output fields for the current record.
  struct OutputValue {
    enum Kind { kMissing, kNumber, kText };
    Kind kind = kMissing;
    double number = 0.0;
    std::string text;
  };
  // The names of the model's output fields, in document order, and their
  // values for the current record (both empty when the model declares
  // none). The names are shared with the model and outlive it.
  const std::vector<std::string>& GetOutputNames() const {
    return outputNames == nullptr ? noOutputNames : *outputNames;
  }
  const std::vector<OutputValue>& GetOutputValues() const { return outputValues; }
  // For the model: the values to write, sized for `names`, their strings
  // keeping their buffers from record to record.
  std::vector<OutputValue>& SetOutputNames(
      const std::shared_ptr<const std::vector<std::string>>& names) {
    if (outputNames != names) outputNames = names;
    outputValues.resize(names == nullptr ? 0 : names->size());
    return outputValues;
  }
  void ClearOutputs() {
    if (outputNames != nullptr) outputNames.reset();
    if (!outputValues.empty()) outputValues.clear();
  }

 private:
  double confidence = -1.0;
  const ScoreDictVar* target;       // not owned
  ScoreValue* prediction = nullptr;  // not owned: one of the model's categories
  std::vector<ValuePercent> valuePercents;
  void WriteRuleIds() const {
    // Strings beyond the list's length are kept aside for their buffers.
    while (ruleIds.size() > fired.size()) {
      spareIds.push_back(std::move(ruleIds.back()));
      ruleIds.pop_back();
    }
    while (ruleIds.size() < fired.size()) {
      if (spareIds.empty()) {
        ruleIds.emplace_back();
      } else {
        ruleIds.push_back(std::move(spareIds.back()));
        spareIds.pop_back();
      }
    }
    for (size_t k = 0; k < fired.size(); ++k) ruleIds[k].assign(*fired[k]);
    idsStale = false;
  }

  // Every pointer in `fired` and `winning` lies in idTable or in ownedIds.
  std::vector<const std::string*> fired;  // in firing order
  const std::string* winning = nullptr;
  std::shared_ptr<const std::vector<std::string>> idTable;  // shared with the model
  std::deque<std::string> ownedIds;       // copies appended by SetRuleIDFire
  std::string noRule;                     // stays empty: the winning rule of a default
  mutable std::vector<std::string> ruleIds;   // fired, written out when read
  mutable std::vector<std::string> spareIds;  // emptied strings kept for their buffers
  mutable bool idsStale = false;
  std::shared_ptr<const std::vector<std::string>> outputNames;  // shared with the model
  std::vector<std::string> noOutputNames;                       // stays empty
  std::vector<OutputValue> outputValues;
  std::string errorText;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_RULESETRESULT_H_
