// What each compiled rule of one rule set gives when it fires, laid out for
// the per-record choice: its category (already mapped onto the target's
// categories), weight and confidence side by side, and where its identifier
// lies in the model's identifier table. Built once, at the record set-up,
// from the rules the set-up counted.
//
// The identifiers belong to a table the model shares with its results; the
// table is filled before the first record and never changed after, so a
// result may point into it for as long as it holds the table.
#ifndef RULESCORE_SCORING_RULEOUTCOMES_H_
#define RULESCORE_SCORING_RULEOUTCOMES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KtZembra_940 {

class RuleOutcomes {
 public:
  struct Entry {
    double weight = 0.0;
    double confidence = 0.0;
    int32_t category = 0;
  };

  // Appends the next rule: its score index among the target's
  // `numbOfCategories` categories, weight and confidence.
  void Add(int32_t scoreIndex, int32_t numbOfCategories, double weight, double confidence);
  void Reserve(size_t count) { entries_.reserve(count); }
  // `ids` points at Size() identifiers in rule order, in a table that
  // outlives every read of Id.
  void SetIds(const std::string* ids) { ids_ = ids; }

  size_t Size() const { return entries_.size(); }
  const Entry& At(size_t k) const { return entries_[k]; }
  const std::string* Id(size_t k) const { return ids_ + k; }

  // The category a score index stands for: one of the target's, or 0 when
  // it names none (a text or number that is no category).
  static int32_t CategoryOf(int32_t scoreIndex, int32_t numbOfCategories) {
    return scoreIndex >= 0 && scoreIndex < numbOfCategories ? scoreIndex : 0;
  }

 private:
  std::vector<Entry> entries_;
  const std::string* ids_ = nullptr;  // in the model's shared table
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_RULEOUTCOMES_H_
