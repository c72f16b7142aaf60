// The rules of one model flattened for the scoring plan's walks: every
// rule whose top level is an "and" (all compiled rules) becomes the list of
// conditions it requires. Its simple and set conditions, and those of
// nested "and" compounds, become shared items (one per distinct variable,
// operator and value); "or", "xor" and other compounds stay whole and are
// evaluated as one item. Within a rule the items shared by the most rules
// come first. Per item the plan keeps the rules that require it (a bit mask
// or a list), so that a false item drops all of them at once.
//
// Built once; the walks read it (the lazy walk may reorder the items within
// each rule's list, which does not change the rule's outcome).
#ifndef RULESCORE_SCORING_MODELPLAN_H_
#define RULESCORE_SCORING_MODELPLAN_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/RuleSetModel.h"

namespace KtZembra_940 {

class ModelPlan {
 public:
  // How an item is tested. The comparison codes read one variable; kIs and
  // kIsNot compare it with the variable's own missing marker (-1 for a
  // string variable, the system-missing value otherwise), which the plan
  // stores as the item's value; kIn and kNotIn scan a range of setValues;
  // kCompound and kRule are evaluated whole, member by member.
  enum TestCode : uint8_t {
    kEqual,
    kNotEqual,
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual,
    kIs,
    kIsNot,
    kIn,
    kNotIn,
    kCompound,
    kRule,
  };

  struct Item {
    double value = 0.0;
    int32_t var = -1;
    int32_t source = 0;     // kIn/kNotIn: first member in setValues; compound or rule index
    int32_t sourceEnd = 0;  // kIn/kNotIn: end of the members
    // The rules that require the item: a bit mask over the words
    // [maskFirst, maskFirst + maskWords) stored at denseMasks[mask], or,
    // when mask is -1, the list killRules[killBegin, killEnd).
    int32_t mask = -1;
    int32_t maskFirst = 0;
    int32_t maskWords = 0;
    int32_t killBegin = 0;
    int32_t killEnd = 0;
    TestCode code = kEqual;
  };

  // Flattens the first `n` (> 0) of `rules`. `isString` tells, per variable
  // index, whether the variable is a string one; it must outlive the plan.
  // The plan keeps copies of what it evaluates.
  ModelPlan(const std::vector<RuleSetModel::ST_Rule>& rules, int32_t n,
            const std::vector<bool>& isString);
  ModelPlan(const ModelPlan&) = delete;
  ModelPlan& operator=(const ModelPlan&) = delete;

  // The item's outcome for the encoded record `values`.
  bool Test(const Item& item, const double* values) const;
  // Removes from `alive` (from word `from` on) every rule that requires `item`.
  void Kill(const Item& item, int32_t from, uint64_t* alive) const;

  size_t MemoryBytes() const;

  const std::vector<bool>& isString;
  int32_t ruleCount = 0;
  int32_t words = 0;                   // of a bit set over the rules
  std::vector<uint64_t> initialAlive;  // rules that can fire at all
  std::vector<int32_t> ruleItemBegin;  // ruleCount + 1 offsets into ruleItems
  std::vector<int32_t> ruleItems;      // per rule, the items it requires
  std::vector<Item> items;
  std::vector<double> setValues;
  std::vector<RuleSetModel::ST_COMP_Condition> compounds;
  std::vector<RuleSetModel::ST_Rule> rules;
  std::vector<uint64_t> denseMasks;
  std::vector<int32_t> killRules;

 private:
  class Builder;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_MODELPLAN_H_
