// The scoring plan against a literal rule-by-rule walk: random compiled rule
// sets (every operator code, odd ones included, missing values, NaN, nested
// compounds, constant members, both pairings of varIndices) and rule sets
// cut from random decision trees, scored over random records; and whole
// models scored through GetScore with the plan and with the model's own
// rule-by-rule walk.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/NumericValue.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"
#include "scoring/ScoringPlan.h"
#include "tests/support/ModelBuilder.h"

// Counts allocations while `gCountAllocations` is set, so that a test can
// tell that finding the fired rules of a record allocates nothing. The
// replacements pair malloc with free, which GCC cannot see through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
bool gCountAllocations = false;
long gAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (gCountAllocations) ++gAllocations;
  if (size == 0) size = 1;
  if (void* p = std::malloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace KtZembra_940 {
namespace {

using Condition = RuleSetModel::ST_SIM_Condition;
using Compound = RuleSetModel::ST_COMP_Condition;
using Rule = RuleSetModel::ST_Rule;
using RuleSet = RuleSetModel::ST_RuleSet;
using testing_support::ModelBuilder;
using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;

const double kSysmis = NumericValue::GetSysmisValue();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// ---------------------------------------------------------------------------
// The reference: each rule and compound evaluated member by member, as the
// rule-firing rules state them, with nothing shared between rules.

struct RefRecord {
  std::vector<double> values;
  std::vector<bool> isString;
};

// What one entry of `conditions` says; kKeep leaves the running result.
enum class Says { kFalse, kTrue, kKeep };

Says Said(bool value) { return value ? Says::kTrue : Says::kFalse; }

Says RefEntry(const Condition& c, int32_t var, const RefRecord& rec) {
  double x = kSysmis;
  bool stringVar = false;
  if (var >= 0 && static_cast<size_t>(var) < rec.values.size()) {
    x = rec.values[static_cast<size_t>(var)];
    stringVar = rec.isString[static_cast<size_t>(var)];
  }
  if (c.isSimple) {
    const double v = c.value;
    const bool missing = NumericValue::IsSystemMissingValue(x);
    switch (c.simpleOperator) {
      case 0: return Said(x == v);
      case 1: return Said(!(x == v));
      case 2: return Said(x < v && !missing);
      case 3: return Said(x <= v && !missing);
      case 4: return Said(x > v);
      case 5: return Said(x >= v);
      case 6: return Said(stringVar ? x == -1.0 : missing);
      case 7: return Said(stringVar ? !(x == -1.0) : !missing);
      default: return Says::kKeep;
    }
  }
  if (c.isSet) {
    bool found = false;
    for (double member : c.setValues) found = found || member == x;
    if (c.setOperator == SetPredicate::kIsIn) return Said(found);
    if (c.setOperator == SetPredicate::kIsNotIn) return Said(!found);
    return Says::kKeep;
  }
  if (c.isTrue) return Says::kTrue;
  if (c.isFalse) return Says::kFalse;
  return Says::kKeep;
}

template <class Node>
bool RefHolds(const Node& node, const RefRecord& rec) {
  if (node.fixedResult != 0) return node.fixedResult == 1;
  const int op = node.boolOperator;
  bool r = false;
  bool parity = false;
  for (const Compound& member : node.compConditions) {
    r = RefHolds(member, rec);
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }
  // varIndices either holds one slot per entry (constants -1) or one per
  // simple or set entry only.
  const bool slotPerEntry = node.varIndices.size() == node.conditions.size();
  size_t k = 0;
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Condition& c = node.conditions[i];
    int32_t var = -1;
    if (c.isSimple || c.isSet) {
      const size_t slot = slotPerEntry ? i : k++;
      if (slot < node.varIndices.size()) var = node.varIndices[slot];
    }
    const Says says = RefEntry(c, var, rec);
    if (says != Says::kKeep) r = says == Says::kTrue;
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }
  return op == 2 ? parity : r;
}

std::vector<int32_t> RefFired(const std::vector<RuleSet*>& sets, const std::vector<int32_t>& counts,
                              int m, bool firstOnly, const RefRecord& rec) {
  std::vector<int32_t> fired;
  if (m < 0 || static_cast<size_t>(m) >= counts.size() || static_cast<size_t>(m) >= sets.size() ||
      sets[static_cast<size_t>(m)] == nullptr) {
    return fired;
  }
  const std::vector<Rule>& rules = sets[static_cast<size_t>(m)]->rules;
  int32_t n = counts[static_cast<size_t>(m)];
  if (n < 0) n = 0;
  if (static_cast<size_t>(n) > rules.size()) n = static_cast<int32_t>(rules.size());
  for (int32_t r = 0; r < n; ++r) {
    if (!RefHolds(rules[static_cast<size_t>(r)], rec)) continue;
    fired.push_back(r);
    if (firstOnly) break;
  }
  return fired;
}

// ---------------------------------------------------------------------------
// Random structures.

class Gen {
 public:
  explicit Gen(uint32_t seed) : rng_(seed) {}
  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <class T>
  T Pick(const std::vector<T>& from) {
    return from[static_cast<size_t>(Below(static_cast<int>(from.size())))];
  }

 private:
  std::mt19937 rng_;
};

// Values shared by conditions and records, so that equalities, set members
// and boundaries are hit often.
const std::vector<double> kNumbers = {-2.0, -1.0, -0.0, 0.0, 0.5, 1.0, 2.0, 3.0};
const std::vector<double> kOddNumbers = {kNaN, kSysmis, kInf, -kInf, 1e300};

double NumberValue(Gen& g) { return g.Chance(10) ? g.Pick(kOddNumbers) : g.Pick(kNumbers); }
double CodeValue(Gen& g) { return g.Chance(10) ? -1.0 : static_cast<double>(g.Below(4)); }

struct Shape {
  int vars;
  std::vector<bool> isString;
};

double ValueFor(Gen& g, const Shape& s, int32_t var) {
  if (var >= 0 && var < s.vars && s.isString[static_cast<size_t>(var)]) return CodeValue(g);
  return NumberValue(g);
}

// One entry of `conditions`; `var` receives its variable (-1 for none).
Condition RandomCondition(Gen& g, const Shape& s, int32_t* var) {
  Condition c;
  *var = g.Chance(3) ? g.Pick(std::vector<int32_t>{-1, s.vars}) : g.Below(s.vars);
  const int kind = g.Below(100);
  if (kind < 50) {
    c.isSimple = true;
    c.simpleOperator = g.Chance(8) ? g.Pick(std::vector<int32_t>{-1, 8, 42}) : g.Below(8);
    c.value = c.simpleOperator >= 6 ? kSysmis : ValueFor(g, s, *var);
  } else if (kind < 78) {
    c.isSet = true;
    c.setOperator = g.Chance(8) ? g.Pick(std::vector<int32_t>{-1, 2, 7}) : g.Below(2);
    c.value = kSysmis;
    const int members = g.Below(5);
    for (int i = 0; i < members; ++i) c.setValues.push_back(ValueFor(g, s, *var));
  } else if (kind < 88) {
    c.isTrue = true;
    *var = -1;
  } else if (kind < 97) {
    c.isFalse = true;
    *var = -1;
  } else {
    *var = -1;  // no flag at all
  }
  return c;
}

template <class Node>
void FillMembers(Gen& g, const Shape& s, Node& node, int depth);

Compound RandomCompound(Gen& g, const Shape& s, int depth) {
  Compound comp;
  comp.boolOperator = g.Chance(12) ? g.Pick(std::vector<int32_t>{-1, 3, 9}) : g.Below(3);
  comp.fixedResult = g.Chance(8) ? g.Pick(std::vector<int32_t>{1, 2, 5}) : 0;
  FillMembers(g, s, comp, depth);
  return comp;
}

template <class Node>
void FillMembers(Gen& g, const Shape& s, Node& node, int depth) {
  const int comps = depth < 3 && g.Chance(45) ? 1 + g.Below(3) : 0;
  for (int i = 0; i < comps; ++i) node.compConditions.push_back(RandomCompound(g, s, depth + 1));
  const int conds = g.Below(5);
  const bool slotPerEntry = g.Chance(60);
  for (int i = 0; i < conds; ++i) {
    int32_t var = -1;
    node.conditions.push_back(RandomCondition(g, s, &var));
    const Condition& c = node.conditions.back();
    if (slotPerEntry || c.isSimple || c.isSet) node.varIndices.push_back(var);
  }
}

Rule RandomRule(Gen& g, const Shape& s, int position) {
  Rule rule;
  rule.ruleId = "r" + std::to_string(position);
  rule.boolOperator = g.Chance(90) ? 1 : g.Pick(std::vector<int32_t>{0, 2, 3, -4});
  rule.fixedResult = g.Chance(8) ? g.Pick(std::vector<int32_t>{1, 2, 3}) : 0;
  FillMembers(g, s, rule, 0);
  return rule;
}

// A random binary tree cut into rules, one per leaf in left-to-right order:
// each rule the conjunction of its path. Split tests come from small pools
// so that sibling subtrees repeat conditions of each other.
void TreePaths(Gen& g, const Shape& s, int depth, Rule& path, std::vector<Rule>& out) {
  if (depth == 0 || (depth < 3 && g.Chance(20))) {
    Rule leaf = path;
    leaf.ruleId = "leaf" + std::to_string(out.size());
    if (g.Chance(10)) leaf.compConditions.push_back(RandomCompound(g, s, 1));
    out.push_back(leaf);
    return;
  }
  const int32_t var = g.Below(s.vars);
  Condition left;
  Condition right;
  const int split = g.Below(10);
  if (split < 3) {
    left.isSimple = right.isSimple = true;
    left.simpleOperator = 3;
    right.simpleOperator = 4;
    left.value = right.value = ValueFor(g, s, var);
  } else if (split < 5) {
    left.isSimple = right.isSimple = true;
    left.simpleOperator = 2;
    right.simpleOperator = 5;
    left.value = right.value = ValueFor(g, s, var);
  } else if (split < 6) {
    left.isSimple = right.isSimple = true;
    left.simpleOperator = 0;
    right.simpleOperator = 1;
    left.value = right.value = ValueFor(g, s, var);
  } else if (split < 7) {
    left.isSimple = right.isSimple = true;
    left.simpleOperator = 6;
    right.simpleOperator = 7;
    left.value = right.value = kSysmis;
  } else if (split < 9) {
    left.isSet = right.isSet = true;
    left.setOperator = SetPredicate::kIsIn;
    right.setOperator = SetPredicate::kIsNotIn;
    left.value = right.value = kSysmis;
    left.setValues = {ValueFor(g, s, var), ValueFor(g, s, var)};
    right.setValues = left.setValues;
  } else {
    // An odd pair: one side unknown to the scoring.
    left.isSimple = right.isSimple = true;
    left.simpleOperator = 4;
    right.simpleOperator = 11;
    left.value = right.value = ValueFor(g, s, var);
  }
  for (const Condition* side : {&left, &right}) {
    path.conditions.push_back(*side);
    path.varIndices.push_back(var);
    TreePaths(g, s, depth - 1, path, out);
    path.conditions.pop_back();
    path.varIndices.pop_back();
  }
}

Shape RandomShape(Gen& g) {
  Shape s;
  s.vars = 1 + g.Below(5);
  for (int v = 0; v < s.vars; ++v) s.isString.push_back(g.Chance(30));
  return s;
}

RefRecord RandomRecord(Gen& g, const Shape& s) {
  RefRecord rec;
  rec.isString = s.isString;
  for (int v = 0; v < s.vars; ++v) {
    // A string variable holds a code or -1; a numeric one sometimes the
    // system-missing value or NaN.
    if (s.isString[static_cast<size_t>(v)]) {
      rec.values.push_back(g.Chance(20) ? -1.0 : static_cast<double>(g.Below(5)));
    } else {
      rec.values.push_back(g.Chance(12) ? kSysmis : g.Chance(5) ? kNaN : NumberValue(g));
    }
  }
  return rec;
}

// Owns rule sets the way a model does, and views them as the plan takes them.
struct RuleSets {
  std::vector<std::unique_ptr<RuleSet>> owned;
  std::vector<RuleSet*> view;
  std::vector<int32_t> counts;
};

void CompareOverRecords(Gen& g, const Shape& s, const RuleSets& sets, int records,
                        const std::string& what) {
  ScoringPlan plan(sets.view, sets.counts, s.isString);
  std::vector<int32_t> fired;
  const int models = static_cast<int>(sets.counts.size());
  for (int i = 0; i < records; ++i) {
    const RefRecord rec = RandomRecord(g, s);
    for (int m = -1; m <= models; ++m) {
      for (bool firstOnly : {true, false}) {
        plan.FiredRules(m, rec.values.data(), firstOnly, fired);
        const std::vector<int32_t> expected = RefFired(sets.view, sets.counts, m, firstOnly, rec);
        ASSERT_EQ(fired, expected) << what << ", record " << i << ", model " << m
                                   << (firstOnly ? ", first hit" : ", all fired");
      }
    }
  }
}

TEST(ScoringPlanDifferential, RandomRuleSetsFireLikeTheRuleByRuleWalk) {
  Gen g(20261207);
  for (int trial = 0; trial < 1000; ++trial) {
    const Shape s = RandomShape(g);
    RuleSets sets;
    const int models = 1 + g.Below(3);
    for (int m = 0; m < models; ++m) {
      if (g.Chance(10)) {
        sets.owned.emplace_back();
        sets.view.push_back(nullptr);
        sets.counts.push_back(g.Below(3));
        continue;
      }
      auto set = std::make_unique<RuleSet>();
      const int rules = g.Chance(10) ? 70 + g.Below(80) : g.Below(12);
      for (int r = 0; r < rules; ++r) set->rules.push_back(RandomRule(g, s, r));
      // Usually every rule counts; sometimes rules compiled after the
      // record set-up (fewer counted) or a count beyond the rules.
      int32_t count = rules;
      if (g.Chance(10)) count = g.Below(rules + 1);
      if (g.Chance(5)) count = rules + 1 + g.Below(3);
      if (g.Chance(3)) count = -1;
      sets.counts.push_back(count);
      sets.view.push_back(set.get());
      sets.owned.push_back(std::move(set));
    }
    // A count list longer than the rule-set table: the extra models have
    // no rules.
    if (g.Chance(5)) sets.counts.push_back(4);
    CompareOverRecords(g, s, sets, 12, "trial " + std::to_string(trial));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(ScoringPlanDifferential, TreeRuleSetsFireLikeTheRuleByRuleWalk) {
  Gen g(7012026);
  for (int trial = 0; trial < 160; ++trial) {
    const Shape s = RandomShape(g);
    RuleSets sets;
    auto set = std::make_unique<RuleSet>();
    Rule path;
    TreePaths(g, s, 1 + g.Below(8), path, set->rules);
    // Leaves out of tree order, and a duplicated leaf, now and then.
    if (g.Chance(25)) {
      for (size_t i = set->rules.size(); i > 1; --i) {
        std::swap(set->rules[i - 1], set->rules[static_cast<size_t>(g.Below(static_cast<int>(i)))]);
      }
    }
    if (g.Chance(20)) set->rules.push_back(set->rules[static_cast<size_t>(g.Below(
        static_cast<int>(set->rules.size())))]);
    sets.counts.push_back(static_cast<int32_t>(set->rules.size()));
    sets.view.push_back(set.get());
    sets.owned.push_back(std::move(set));
    CompareOverRecords(g, s, sets, 40, "tree " + std::to_string(trial));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Cases the random search must not be trusted to find, each with the fired
// list the rule-by-rule walk gives.
TEST(ScoringPlan, OddMembersFireAsTheWalkSays) {
  auto simple = [](int32_t op, double value) {
    Condition c;
    c.isSimple = true;
    c.simpleOperator = op;
    c.value = value;
    return c;
  };
  Condition unknownSet;
  unknownSet.isSet = true;
  unknownSet.setOperator = 5;
  unknownSet.setValues = {1.0};
  Condition noFlag;
  Condition constantTrue;
  constantTrue.isTrue = true;

  struct Case {
    const char* name;
    Rule rule;
    std::vector<double> record;
    bool fires;
  };
  std::vector<Case> cases;
  {
    Rule r;  // an unknown operator first in an "and" keeps r false
    r.conditions = {simple(9, 1.0)};
    r.varIndices = {0};
    cases.push_back({"unknown operator alone", r, {1.0}, false});
  }
  {
    Rule r;  // after a true member it keeps r true
    r.conditions = {simple(0, 1.0), simple(9, 1.0), unknownSet, noFlag};
    r.varIndices = {0, 0, 0, -1};
    cases.push_back({"unknown after true", r, {1.0}, true});
  }
  {
    Rule r;  // an unknown set operator first keeps r false
    r.conditions = {unknownSet};
    r.varIndices = {0};
    cases.push_back({"unknown set operator alone", r, {1.0}, false});
  }
  {
    Rule r;  // a true compound first, then an unknown member: still true
    Compound yes;
    yes.boolOperator = 0;
    yes.conditions = {constantTrue};
    yes.varIndices = {-1};
    r.compConditions = {yes};
    r.conditions = {simple(-3, 0.0)};
    r.varIndices = {0};
    cases.push_back({"compound then unknown", r, {5.0}, true});
  }
  {
    Rule r;  // an "and" with no members never fires
    cases.push_back({"empty and", r, {0.0}, false});
  }
  {
    Rule r;  // xor of three true members, and of a kept result
    Compound x;
    x.boolOperator = 2;
    x.conditions = {simple(5, 0.0), simple(4, -1.0), constantTrue};
    x.varIndices = {0, 0, -1};
    r.compConditions = {x};
    cases.push_back({"xor of three", r, {1.0}, true});
    x.conditions.push_back(simple(77, 0.0));  // keeps r true: parity flips again
    x.varIndices.push_back(0);
    r.compConditions = {x};
    cases.push_back({"xor with kept fourth", r, {1.0}, false});
  }
  {
    Rule r;  // another operator: the last evaluated decides
    Compound other;
    other.boolOperator = 3;
    Compound no;
    no.fixedResult = 2;
    other.compConditions = {no};
    other.conditions = {simple(0, 4.0)};
    other.varIndices = {0};
    r.compConditions = {other};
    cases.push_back({"other operator, last true", r, {4.0}, true});
    cases.push_back({"other operator, last false", r, {3.0}, false});
  }
  {
    Rule r;  // NaN makes notEqual true and every ordering false
    r.conditions = {simple(1, 2.0), simple(7, 0.0)};
    r.varIndices = {0, 0};
    cases.push_back({"NaN not equal", r, {kNaN}, true});
    r.conditions = {simple(5, -kInf)};
    r.varIndices = {0};
    cases.push_back({"NaN ordering", r, {kNaN}, false});
    r.conditions = {simple(3, 10.0)};
    cases.push_back({"missing below", r, {kSysmis}, false});
    r.conditions = {simple(5, kSysmis)};
    cases.push_back({"missing at least itself", r, {kSysmis}, true});
  }

  for (const Case& c : cases) {
    RuleSet set;
    set.rules = {c.rule};
    const std::vector<RuleSet*> view = {&set};
    const std::vector<int32_t> counts = {1};
    ScoringPlan plan(view, counts, std::vector<bool>(c.record.size(), false));
    std::vector<int32_t> fired;
    plan.FiredRules(0, c.record.data(), true, fired);
    EXPECT_EQ(fired, c.fires ? std::vector<int32_t>{0} : std::vector<int32_t>{}) << c.name;
    RefRecord rec{c.record, std::vector<bool>(c.record.size(), false)};
    EXPECT_EQ(RefHolds(c.rule, rec), c.fires) << c.name << " (reference)";
  }
}

TEST(ScoringPlan, FindsFiredRulesWithoutAllocatingOnceWarm) {
  Gen g(99);
  Shape s;
  s.vars = 4;
  s.isString = {false, false, true, false};
  RuleSet set;
  Rule path;
  TreePaths(g, s, 7, path, set.rules);
  for (int r = 0; r < 20; ++r) set.rules.push_back(RandomRule(g, s, r));
  const std::vector<RuleSet*> view = {&set};
  const std::vector<int32_t> counts = {static_cast<int32_t>(set.rules.size())};
  ScoringPlan plan(view, counts, s.isString);
  std::vector<RefRecord> records;
  for (int i = 0; i < 200; ++i) records.push_back(RandomRecord(g, s));
  std::vector<int32_t> fired;
  fired.reserve(set.rules.size());

  // The first record of each kind may build what the plan keeps for it.
  plan.FiredRules(0, records[0].values.data(), false, fired);
  plan.FiredRules(0, records[0].values.data(), true, fired);

  gAllocations = 0;
  gCountAllocations = true;
  size_t total = 0;
  for (const RefRecord& rec : records) {
    plan.FiredRules(0, rec.values.data(), false, fired);
    total += fired.size();
    plan.FiredRules(0, rec.values.data(), true, fired);
    total += fired.size();
  }
  gCountAllocations = false;
  EXPECT_EQ(gAllocations, 0);
  EXPECT_GT(total, 0u);
}

// ---------------------------------------------------------------------------
// Whole models: predicates through the compile, records through the
// encoding, scored with the plan and with the model's rule-by-rule walk.

const std::vector<std::string> kNumericFields = {"n0", "n1", "n2"};
const std::vector<std::string> kTextFields = {"t0", "t1"};
const std::vector<std::string> kTexts = {"a", "b", "c"};
const std::vector<std::string> kCategories = {"A", "B", "C"};

ScorePredicate* RandomPredicate(Gen& g, ModelBuilder& b, int depth) {
  const int kind = g.Below(100);
  if (kind < 40) {
    const auto op = static_cast<SimplePredicate::SimplePredOperator>(g.Below(6));
    if (g.Chance(30)) return b.SimpleText(g.Pick(kTextFields), op, g.Chance(10) ? "zz" : g.Pick(kTexts));
    return b.Simple(g.Pick(kNumericFields), op, g.Pick(kNumbers));
  }
  if (kind < 50) {
    const std::vector<std::string> fields = {"n0", "n1", "t0", "t1"};
    return b.Missing(g.Pick(fields), g.Chance(50));
  }
  if (kind < 68) {
    const auto op = g.Chance(50) ? SetPredicate::kIsIn : SetPredicate::kIsNotIn;
    const int members = 1 + g.Below(3);
    if (g.Chance(50)) {
      std::vector<std::string> texts;
      for (int i = 0; i < members; ++i) texts.push_back(g.Pick(kTexts));
      return b.SetText(g.Pick(kTextFields), op, texts);
    }
    std::vector<double> numbers;
    for (int i = 0; i < members; ++i) numbers.push_back(g.Pick(kNumbers));
    return b.Set(g.Pick(kNumericFields), op, numbers);
  }
  if (kind < 73) return ModelBuilder::True();
  if (kind < 76) return ModelBuilder::False();
  if (depth >= 3) return b.Simple(g.Pick(kNumericFields), SimplePredicate::kGreaterThan, 0.0);
  std::vector<ScorePredicate*> members;
  const int count = 1 + g.Below(4);
  for (int i = 0; i < count; ++i) members.push_back(RandomPredicate(g, b, depth + 1));
  return ModelBuilder::Compound(g.Chance(10) ? 3 : g.Below(3), std::move(members));
}

void FillRandomRecord(Gen& g, TestRecord& record) {
  record.Clear();
  for (const std::string& f : kNumericFields) {
    const int pick = g.Below(10);
    if (pick == 0) continue;  // absent
    if (pick == 1) {
      record.Missing(f);
    } else if (pick == 2) {
      record.Number(f, kNaN);
    } else {
      record.Number(f, g.Pick(kNumbers));
    }
  }
  for (const std::string& f : kTextFields) {
    const int pick = g.Below(8);
    if (pick == 0) continue;
    if (pick == 1) {
      record.Missing(f);
    } else {
      record.Text(f, pick == 2 ? "zz" : g.Pick(kTexts));
    }
  }
}

bool SameScore(const Scored& a, const Scored& b) {
  const bool sameConfidence = a.confidence == b.confidence ||
                              (std::isnan(a.confidence) && std::isnan(b.confidence));
  return a.code == b.code && a.hasPrediction == b.hasPrediction && a.prediction == b.prediction &&
         sameConfidence && a.fired == b.fired;
}

TEST(ScoringPlanDifferential, ModelsScoreAlikeWithPlanAndWithWalk) {
  Gen g(4242);
  for (int trial = 0; trial < 120; ++trial) {
    ModelBuilder b;
    for (const std::string& f : kNumericFields) b.Numeric(f);
    for (const std::string& f : kTextFields) b.Text(f, kTexts);
    b.TextTarget("target", kCategories);
    const int models = 1 + g.Below(3);
    RuleSetModel& model = b.Start(models);
    if (models > 1 && g.Chance(20)) model.SetModelType(ScoreModel::kDecisionListModel);
    for (int m = 0; m < models; ++m) {
      const auto method = static_cast<RuleSetModel::RuleSetMethod>(g.Below(3));
      b.Settings(m, method, g.Pick(kCategories), 0.25 * g.Below(4));
      const int rules = g.Below(25);
      for (int r = 0; r < rules; ++r) {
        const double weight = g.Chance(10) ? 0.0 : 0.1 * (g.Below(21) - 5);
        b.Rule(m, "m" + std::to_string(m) + "r" + std::to_string(r), g.Pick(kCategories), weight,
               0.05 * g.Below(21), RandomPredicate(g, b, 0));
      }
    }
    if (g.Chance(30)) {
      std::map<std::string, std::map<std::string, double>> costs;
      for (const std::string& chosen : kCategories) {
        for (const std::string& actual : kCategories) {
          if (chosen != actual && g.Chance(60)) costs[chosen][actual] = 0.5 * g.Below(6);
        }
      }
      b.Costs(costs);
    }

    std::vector<std::string> layout = b.FieldNames();
    TestRecord record(layout);
    ScoreResult* withPlan = nullptr;
    ScoreResult* withWalk = nullptr;
    for (int i = 0; i < 40; ++i) {
      FillRandomRecord(g, record);
      model.SetUseReferenceWalk(false);
      const Scored planned = ScoreWith(model, record.Get(), withPlan);
      model.SetUseReferenceWalk(true);
      const Scored walked = ScoreWith(model, record.Get(), withWalk);
      ASSERT_TRUE(SameScore(planned, walked))
          << "trial " << trial << ", record " << i << ": plan " << planned.prediction << " "
          << planned.confidence << " (" << planned.fired.size() << " fired), walk "
          << walked.prediction << " " << walked.confidence << " (" << walked.fired.size()
          << " fired)";
    }
    delete withPlan;
    delete withWalk;
  }
}

}  // namespace
}  // namespace KtZembra_940
