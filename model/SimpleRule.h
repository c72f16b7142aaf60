// The descriptive record of one rule of a rule set: identifier and label, the
// predicted score, the statistics the document gives, the score
// distribution, the split variables that summarise its predicate and the
// target's name. Scoring never reads it; it serves queries and the dump.
// A loaded model holds one such record per rule, so the split variables can
// be kept packed (PackSplits): a one-range split of a field then takes one
// small entry instead of five heap objects, and the objects are made again
// only when someone asks for them (GetSplitVar); the dump reads the packed
// entries directly.
#ifndef RULESCORE_MODEL_SIMPLERULE_H_
#define RULESCORE_MODEL_SIMPLERULE_H_

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace KtZembra_940 {

class ScoreDictVar;
class ScoreSplitVar;
class ScoreValue;

class SimpleRule {
 public:
  enum SearchDirection { up = 0, down = 1 };
  using ValuePercent = std::pair<ScoreValue*, double>;

  explicit SimpleRule(std::string ruleId);
  SimpleRule(const SimpleRule& other);
  SimpleRule& operator=(const SimpleRule& other);
  ~SimpleRule();

  std::string GetRuleID() const { return ruleId; }
  void SetRuleID(std::string id) { ruleId = std::move(id); }
  std::string GetScoreValue() const { return scoreValue; }
  void SetScoreValue(std::string value) { scoreValue = std::move(value); }
  std::string GetTargetVariableName() const { return targetVariableName; }
  void SetTargetVariableName(const std::string& name) { targetVariableName = name; }
  std::string GetRuleLabel() const { return ruleLabel; }
  std::string GetRuleLable() const { return GetRuleLabel(); }
  void SetRuleLabel(const std::string& label) { ruleLabel = label; }

  // Truncated toward zero, saturated to the int range.
  int GetRecordCount() const;
  // As the document gives it (-1 when it gives none).
  double GetRecordCountValue() const { return recordCount; }
  void SetRecordCount(double count) { recordCount = count; }
  int GetnbCorrect() const;
  void SetnbCorrect(double value) { nbCorrect = value; }
  double GetRuleConfidence() const { return confidence; }
  void SetRuleConfidence(double value) { confidence = value; }
  double GetRuleWeight() const { return weight; }
  void SetRuleWeight(double value) { weight = value; }

  // Owned by the rule. Split variables held packed are made on the first
  // call (safe from several threads at once) and kept from then on.
  const std::vector<ScoreSplitVar*>& GetSplitVar() const;
  // Takes ownership of the given split variables; those held before are
  // deleted unless they are among the new ones.
  void SetSplitVar(std::vector<ScoreSplitVar*>& splits);
  // Packs the split variables held: each one-range split of a field (a
  // plain ScaleSplit) becomes a small entry; any other kind is kept as it
  // is. GetSplitVar answers splits equal to the ones packed, in the same
  // order, though not the same objects.
  void PackSplits();

  bool IsDisabled() const { return disabled; }
  void SetDisabled(bool value) { disabled = value; }
  SearchDirection GetSearchDirection() const { return searchDirection; }
  void SetSearchDirection(SearchDirection direction) { searchDirection = direction; }

  const std::vector<ValuePercent>& GetAllValuePercent() const { return valuePercents; }
  // Takes ownership of `value`; false (and nothing stored) for null.
  bool AddValuePercent(ScoreValue* value, double percent);
  double GetPercent(const ScoreValue* value) const;

  void Display(std::ostream& os) const;

 private:
  // One split variable as it is kept packed: a one-range ScaleSplit of a
  // field, any other split (owned), or a null entry of the list.
  struct PackedSplit {
    enum Kind : uint8_t { kRange, kObject, kNull };
    union {
      const ScoreDictVar* var;  // kRange
      ScoreSplitVar* split;     // kObject, owned
    };
    double low = 0.0;
    double high = 0.0;
    int32_t missvalMap = 0;
    int32_t splitIndex = 0;
    Kind kind = kNull;
    bool lowClosed = false;
    bool highClosed = false;
    PackedSplit() : var(nullptr) {}
  };
  // A new ScaleSplit equal to a packed range.
  static ScoreSplitVar* Unpack(const PackedSplit& entry);
  // Back to plain split objects held in splitVars (nothing packed).
  void UnpackAll();
  void CopyOwned(const SimpleRule& other);
  void ReleaseOwned();

  std::string ruleId;
  std::string scoreValue;
  double recordCount = -1.0;
  double nbCorrect = -1.0;
  double confidence = -1.0;
  double weight = -1.0;
  std::vector<ScoreSplitVar*> splitVars;      // owned; empty while packed
  std::vector<PackedSplit> packedSplits;      // splits of a packed rule
  // The packed splits made into objects by GetSplitVar: the objects made
  // from packed ranges are owned by it, the others by packedSplits.
  mutable std::atomic<std::vector<ScoreSplitVar*>*> unpacked{nullptr};
  std::vector<ValuePercent> valuePercents;    // values owned
  std::string targetVariableName;
  std::string ruleLabel;
  bool disabled = false;
  SearchDirection searchDirection = up;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_MODEL_SIMPLERULE_H_
