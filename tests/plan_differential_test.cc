// The scoring plan against the rule-by-rule walk, at two levels:
// - compiled rule sets, random ones (every operator code, odd ones included,
//   fixed results, nested compounds, constant members, paired and unpaired
//   variable lists, conditions shared across rules, missing values, NaN) and
//   ones cut from random decision trees, over random encoded records: the
//   plan's fired rules must equal those of an evaluator written here from the
//   rule-firing rules, sharing no code with the model;
// - whole models built through the model's own building operations (every
//   predicate kind, every selection method, several rule sets, costs) and
//   scored by GetScore with the plan and with the model's rule-by-rule walk:
//   code, prediction, confidence and fired rules must be identical;
// - documents with derived fields, scored with the plan and with the walk,
//   against the same rules over data fields that hold values computed here.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/CompoundPredicate.h"
#include "host/NumericValue.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"
#include "scoring/ScoringPlan.h"
#include "tests/support/CountingHeap.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/TranslatedDocument.h"

// Counts allocations while `gCountAllocations` is set, so that a test can
// tell that finding the fired rules of a record allocates nothing.
namespace {
bool gCountAllocations = false;
long gAllocations = 0;
}  // namespace

void NoteAllocation() {
  if (gCountAllocations) ++gAllocations;
}

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

// The variable of the entry at `position`: with one slot per entry the slot
// at the same position, otherwise the k-th slot for the k-th simple or set
// entry. An absent slot, or one naming no variable of the record, reads as
// a missing numeric value.
int32_t SlotFor(const std::vector<Condition>& conditions, const std::vector<int32_t>& varIndices,
                size_t position) {
  size_t slot = position;
  if (varIndices.size() != conditions.size()) {
    slot = 0;
    for (size_t i = 0; i < position; ++i) {
      if (conditions[i].isSimple || conditions[i].isSet) ++slot;
    }
  }
  return slot < varIndices.size() ? varIndices[slot] : -1;
}

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

// Three-valued: a comparison or set test on a missing value (the
// system-missing value; -1 for a string variable) is unknown; isMissing and
// isNotMissing always answer.
enum class Tri { kFalse, kTrue, kUnknown, kSilent };

Tri RefTri(const Condition& c, int32_t var, const RefRecord& rec) {
  const Says says = RefEntry(c, var, rec);
  if (says == Says::kKeep) return Tri::kSilent;
  if (c.isSimple && (c.simpleOperator == 6 || c.simpleOperator == 7)) {
    return says == Says::kTrue ? Tri::kTrue : Tri::kFalse;
  }
  if (c.isSimple || c.isSet) {
    double x = kSysmis;
    bool stringVar = false;
    if (var >= 0 && static_cast<size_t>(var) < rec.values.size()) {
      x = rec.values[static_cast<size_t>(var)];
      stringVar = rec.isString[static_cast<size_t>(var)];
    }
    if (stringVar ? x == -1.0 : NumericValue::IsSystemMissingValue(x)) return Tri::kUnknown;
  }
  return says == Says::kTrue ? Tri::kTrue : Tri::kFalse;
}

// and: a false member makes it false, else an unknown one unknown; or: a
// true member makes it true, else an unknown one unknown; xor: unknown when
// any member is, else the parity; surrogate: the first member that is not
// unknown. Members that say nothing are left out; with none left: false.
template <class Node>
Tri RefTruth(const Node& node, const RefRecord& rec) {
  if (node.fixedResult != 0) return node.fixedResult == 1 ? Tri::kTrue : Tri::kFalse;
  std::vector<Tri> members;
  for (const Compound& member : node.compConditions) members.push_back(RefTruth(member, rec));
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Tri t = RefTri(node.conditions[i], SlotFor(node.conditions, node.varIndices, i), rec);
    if (t != Tri::kSilent) members.push_back(t);
  }
  if (members.empty()) return Tri::kFalse;
  auto any = [&members](Tri t) {
    for (Tri m : members) {
      if (m == t) return true;
    }
    return false;
  };
  switch (node.boolOperator) {
    case 0:
      return any(Tri::kTrue) ? Tri::kTrue : any(Tri::kUnknown) ? Tri::kUnknown : Tri::kFalse;
    case 1:
      return any(Tri::kFalse) ? Tri::kFalse : any(Tri::kUnknown) ? Tri::kUnknown : Tri::kTrue;
    case 2: {
      if (any(Tri::kUnknown)) return Tri::kUnknown;
      bool parity = false;
      for (Tri m : members) parity = parity != (m == Tri::kTrue);
      return parity ? Tri::kTrue : Tri::kFalse;
    }
    case 3:
      for (Tri m : members) {
        if (m != Tri::kUnknown) return m;
      }
      return Tri::kUnknown;
    default:
      return Tri::kUnknown;
  }
}

template <class Node>
bool RefHolds(const Node& node, const RefRecord& rec) {
  if (node.fixedResult != 0) return node.fixedResult == 1;
  const int op = node.boolOperator;
  // A surrogate: the first member whose inputs are not missing decides.
  if (op == 3) return RefTruth(node, rec) == Tri::kTrue;
  bool r = false;
  bool parity = false;
  for (const Compound& member : node.compConditions) {
    r = RefHolds(member, rec);
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Says says =
        RefEntry(node.conditions[i], SlotFor(node.conditions, node.varIndices, i), rec);
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
// Random compiled structures.

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
// Neighbours of a value and of the system-missing value probe the edges of
// the stretches between compared values.
const std::vector<double> kOddNumbers = {kNaN, kSysmis, kInf, -kInf, 1e300, std::nextafter(1.0, 2.0),
                                         std::nextafter(kSysmis, 0.0), std::nextafter(0.0, 1.0)};

double NumberValue(Gen& g) { return g.Chance(10) ? g.Pick(kOddNumbers) : g.Pick(kNumbers); }
double CodeValue(Gen& g) { return g.Chance(10) ? -1.0 : static_cast<double>(g.Below(4)); }

struct PoolEntry {
  Condition condition;
  int32_t var;
};

struct Shape {
  int vars = 0;
  std::vector<bool> isString;
  // Conditions rules draw from, so that one variable, operator and value
  // recur across rules and inside them.
  std::vector<PoolEntry> pool;
};

double ValueFor(Gen& g, const Shape& s, int32_t var) {
  if (var >= 0 && var < s.vars && s.isString[static_cast<size_t>(var)]) return CodeValue(g);
  return NumberValue(g);
}

// One fresh entry of `conditions`; `var` receives its variable (-1 for none).
Condition RandomCondition(Gen& g, const Shape& s, int32_t* var) {
  Condition c;
  *var = g.Chance(3) ? g.Pick(std::vector<int32_t>{-1, s.vars}) : g.Below(s.vars);
  const int kind = g.Below(100);
  if (kind < 50) {
    c.isSimple = true;
    c.simpleOperator = g.Chance(8) ? g.Pick(std::vector<int32_t>{-1, 8, 9, 42}) : g.Below(8);
    // A missing test carries no value of its own; now and then it has one.
    c.value = c.simpleOperator >= 6 && g.Chance(70) ? kSysmis : ValueFor(g, s, *var);
  } else if (kind < 78) {
    c.isSet = true;
    c.setOperator = g.Chance(8) ? g.Pick(std::vector<int32_t>{-1, 2, 5, 7}) : g.Below(2);
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
  comp.boolOperator = g.Chance(12) ? g.Pick(std::vector<int32_t>{-1, 3, 5, 9}) : g.Below(3);
  comp.fixedResult = g.Chance(8) ? g.Pick(std::vector<int32_t>{1, 2, 5}) : 0;
  FillMembers(g, s, comp, depth);
  return comp;
}

template <class Node>
void FillMembers(Gen& g, const Shape& s, Node& node, int depth) {
  const int comps = depth < 4 && g.Chance(40) ? 1 + g.Below(3) : 0;
  for (int i = 0; i < comps; ++i) node.compConditions.push_back(RandomCompound(g, s, depth + 1));
  const int conds = g.Below(5);
  const bool slotPerEntry = g.Chance(60);
  for (int i = 0; i < conds; ++i) {
    int32_t var = -1;
    if (!s.pool.empty() && g.Chance(55)) {
      const PoolEntry& entry = s.pool[static_cast<size_t>(g.Below(static_cast<int>(s.pool.size())))];
      node.conditions.push_back(entry.condition);
      var = entry.var;
    } else {
      node.conditions.push_back(RandomCondition(g, s, &var));
    }
    const Condition& c = node.conditions.back();
    if (slotPerEntry || c.isSimple || c.isSet) node.varIndices.push_back(var);
  }
  // Now and then one slot short, or one too many.
  const int odd = g.Below(100);
  if (odd < 4 && !node.varIndices.empty()) node.varIndices.pop_back();
  if (odd >= 96) node.varIndices.push_back(g.Below(s.vars));
}

Rule RandomRule(Gen& g, const Shape& s, int position) {
  Rule rule;
  rule.ruleId = "r" + std::to_string(position);
  rule.boolOperator = g.Chance(88) ? 1 : g.Pick(std::vector<int32_t>{0, 2, 3, 7, -4});
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
  // Pairs of operators splitting the values: <= and >, < and >=, == and !=,
  // isMissing and isNotMissing, isIn and isNotIn, and one pair with a side
  // unknown to the scoring.
  static const int32_t kPairs[][2] = {{3, 4}, {3, 4}, {3, 4}, {2, 5}, {2, 5},
                                      {0, 1}, {6, 7}, {-1, -1}, {-1, -1}, {4, 11}};
  const auto& pair = kPairs[g.Below(10)];
  Condition left;
  Condition right;
  if (pair[0] < 0) {
    left.isSet = right.isSet = true;
    left.setOperator = SetPredicate::kIsIn;
    right.setOperator = SetPredicate::kIsNotIn;
    left.value = right.value = kSysmis;
    left.setValues = {ValueFor(g, s, var), ValueFor(g, s, var)};
    right.setValues = left.setValues;
  } else {
    left.isSimple = right.isSimple = true;
    left.simpleOperator = pair[0];
    right.simpleOperator = pair[1];
    left.value = right.value = pair[0] == 6 ? kSysmis : ValueFor(g, s, var);
  }
  for (const Condition* side : {&left, &right}) {
    path.conditions.push_back(*side);
    path.varIndices.push_back(var);
    TreePaths(g, s, depth - 1, path, out);
    path.conditions.pop_back();
    path.varIndices.pop_back();
  }
}

Shape RandomShape(Gen& g, bool withPool) {
  Shape s;
  s.vars = 1 + g.Below(5);
  for (int v = 0; v < s.vars; ++v) s.isString.push_back(g.Chance(30));
  const int poolSize = withPool ? 4 + g.Below(10) : 0;
  for (int i = 0; i < poolSize; ++i) {
    PoolEntry entry;
    entry.condition = RandomCondition(g, s, &entry.var);
    s.pool.push_back(entry);
  }
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

  RuleSet* Add(int32_t count) {
    owned.push_back(std::make_unique<RuleSet>());
    view.push_back(owned.back().get());
    counts.push_back(count);
    return owned.back().get();
  }
};

// Compares the plan with the reference for every model number (those
// outside the plan included), both ways of collecting; returns the number of
// fired rules seen.
long CompareOverRecords(Gen& g, const Shape& s, const RuleSets& sets, int records,
                        const std::string& what) {
  // The plan as it chooses (an unfolded decision diagram where one fits),
  // one that keeps the diagram folded, and one that always takes the lazy
  // walk with its region masks.
  ScoringPlan plan(sets.view, sets.counts, s.isString);
  ScoringPlan folded(sets.view, sets.counts, s.isString);
  folded.SetWalk(ScoringPlan::Walk::kDiagram);
  ScoringPlan walk(sets.view, sets.counts, s.isString);
  walk.SetWalk(ScoringPlan::Walk::kLazy);
  std::vector<int32_t> fired;
  long seen = 0;
  const int models = static_cast<int>(sets.counts.size());
  // The records side by side as well, one spare cell after each, for the
  // walk over many records at once.
  const size_t width = static_cast<size_t>(s.vars) + 1;
  std::vector<double> rows;
  std::vector<RefRecord> recs;
  for (int i = 0; i < records; ++i) {
    const RefRecord rec = RandomRecord(g, s);
    recs.push_back(rec);
    rows.insert(rows.end(), rec.values.begin(), rec.values.end());
    rows.push_back(kNaN);
    for (int m = -1; m <= models; ++m) {
      for (bool firstOnly : {true, false}) {
        const std::vector<int32_t> expected = RefFired(sets.view, sets.counts, m, firstOnly, rec);
        for (ScoringPlan* p : {&plan, &folded, &walk}) {
          p->FiredRules(m, rec.values.data(), firstOnly, fired);
          EXPECT_EQ(fired, expected) << what << ", record " << i << ", model " << m
                                     << (firstOnly ? ", first hit" : ", all fired")
                                     << (p == &walk ? ", lazy walk" : p == &folded ? ", folded" : "");
          if (::testing::Test::HasFailure()) return seen;
        }
        seen += static_cast<long>(expected.size());
      }
    }
  }
  std::vector<int32_t> first(recs.size());
  for (int m = -1; m <= models; ++m) {
    for (ScoringPlan* p : {&plan, &folded, &walk}) {
      p->FirstFiredRules(m, rows.data(), width, recs.size(), first.data());
      for (size_t i = 0; i < recs.size(); ++i) {
        const std::vector<int32_t> expected = RefFired(sets.view, sets.counts, m, true, recs[i]);
        EXPECT_EQ(first[i], expected.empty() ? -1 : expected[0])
            << what << ", record " << i << " of a batch, model " << m
            << (p == &walk ? ", lazy walk" : p == &folded ? ", folded" : "");
        if (::testing::Test::HasFailure()) return seen;
      }
    }
  }
  return seen;
}

TEST(ScoringPlanDifferential, RandomRuleSetsFireLikeTheRuleByRuleWalk) {
  Gen g(20261207);
  long fired = 0;
  for (int trial = 0; trial < 1900; ++trial) {
    const Shape s = RandomShape(g, g.Chance(60));
    RuleSets sets;
    const int models = 1 + g.Below(3);
    for (int m = 0; m < models; ++m) {
      if (g.Chance(10)) {
        sets.owned.emplace_back();
        sets.view.push_back(nullptr);
        sets.counts.push_back(g.Below(3));
        continue;
      }
      // Mostly small sets; some beyond one and two words of rule bits.
      const int rules = g.Chance(12) ? 60 + g.Below(140) : g.Below(20);
      RuleSet* set = sets.Add(rules);
      for (int r = 0; r < rules; ++r) set->rules.push_back(RandomRule(g, s, r));
      // Usually every rule counts; sometimes rules compiled after the
      // record set-up (fewer counted) or a count beyond the rules.
      int32_t& count = sets.counts.back();
      if (g.Chance(10)) count = g.Below(rules + 1);
      if (g.Chance(5)) count = rules + 1 + g.Below(3);
      if (g.Chance(3)) count = -1;
    }
    // A count list longer than the rule-set table: the extra models have
    // no rules.
    if (g.Chance(5)) sets.counts.push_back(4);
    fired += CompareOverRecords(g, s, sets, 12, "trial " + std::to_string(trial));
    if (HasFailure()) return;
  }
  // The generator must give records that fire rules, and many of them.
  EXPECT_GT(fired, 150000);
}

TEST(ScoringPlanDifferential, TreeRuleSetsFireLikeTheRuleByRuleWalk) {
  Gen g(7012026);
  long fired = 0;
  for (int trial = 0; trial < 160; ++trial) {
    const Shape s = RandomShape(g, false);
    RuleSets sets;
    RuleSet* set = sets.Add(0);
    Rule path;
    TreePaths(g, s, 1 + g.Below(8), path, set->rules);
    // Leaves out of tree order, and a duplicated leaf, now and then.
    if (g.Chance(25)) {
      for (size_t i = set->rules.size(); i > 1; --i) {
        std::swap(set->rules[i - 1], set->rules[static_cast<size_t>(g.Below(static_cast<int>(i)))]);
      }
    }
    if (g.Chance(20)) {
      set->rules.push_back(set->rules[static_cast<size_t>(g.Below(static_cast<int>(set->rules.size())))]);
    }
    sets.counts.back() = static_cast<int32_t>(set->rules.size());
    fired += CompareOverRecords(g, s, sets, 40, "tree " + std::to_string(trial));
    if (HasFailure()) return;
  }
  EXPECT_GT(fired, 7000);
}

// Cases the random search must not be trusted to find, each with what the
// rule-by-rule walk says.
TEST(ScoringPlan, OddMembersFireAsTheWalkSays) {
  auto simple = [](int32_t op, double value) {
    Condition c;
    c.isSimple = true;
    c.simpleOperator = op;
    c.value = value;
    return c;
  };
  auto node = [](auto n, std::vector<Condition> conditions, std::vector<int32_t> vars,
                 std::vector<Compound> compounds = {}) {
    n.conditions = std::move(conditions);
    n.varIndices = std::move(vars);
    n.compConditions = std::move(compounds);
    return n;
  };
  Condition unknownSet;
  unknownSet.isSet = true;
  unknownSet.setOperator = 5;
  unknownSet.setValues = {1.0};
  Condition constantTrue;
  constantTrue.isTrue = true;
  Compound orOp;
  orOp.boolOperator = 0;
  Compound xorOp;
  xorOp.boolOperator = 2;
  Compound surrogateOp;  // the first member not on a missing value decides
  surrogateOp.boolOperator = 3;
  Compound andOp;
  andOp.boolOperator = 1;
  Compound no;
  no.fixedResult = 2;
  const Compound xorOfThree =
      node(xorOp, {simple(5, 0.0), simple(4, -1.0), constantTrue}, {0, 0, -1});
  // Nested compounds come first: "no" decides before "x equal 4".
  const Compound surrogate = node(surrogateOp, {simple(0, 4.0)}, {0}, {no});
  // "y greaterThan 0" passes on when y is missing; then "x equal 4".
  const Compound passOn =
      node(surrogateOp, {simple(0, 4.0)}, {0}, {node(andOp, {simple(4, 0.0)}, {1})});

  const struct {
    const char* name;
    Rule rule;
    std::vector<double> record;
    bool fires;
  } cases[] = {
      // An unknown operator first in an "and" keeps r false; after a true
      // member it keeps r true.
      {"unknown operator alone", node(Rule(), {simple(9, 1.0)}, {0}), {1.0}, false},
      {"unknown after true", node(Rule(), {simple(0, 1.0), simple(9, 1.0), unknownSet, Condition()},
                                  {0, 0, 0, -1}),
       {1.0}, true},
      {"unknown set operator alone", node(Rule(), {unknownSet}, {0}), {1.0}, false},
      {"compound then unknown",
       node(Rule(), {simple(-3, 0.0)}, {0}, {node(orOp, {constantTrue}, {-1})}), {5.0}, true},
      {"empty and", Rule(), {0.0}, false},
      // A kept result still counts for xor: parity flips again.
      {"xor of three", node(Rule(), {}, {}, {xorOfThree}), {1.0}, true},
      {"xor with kept fourth",
       node(Rule(), {}, {},
            {node(xorOp, {simple(5, 0.0), simple(4, -1.0), constantTrue, simple(77, 0.0)},
                  {0, 0, -1, 0})}),
       {1.0}, false},
      {"surrogate, first member false", node(Rule(), {}, {}, {surrogate}), {4.0}, false},
      {"surrogate, first member on a value", node(Rule(), {}, {}, {passOn}), {4.0, 1.0}, true},
      {"surrogate, first member false on a value", node(Rule(), {}, {}, {passOn}), {4.0, -1.0},
       false},
      {"surrogate, first member on a missing value", node(Rule(), {}, {}, {passOn}),
       {4.0, kSysmis}, true},
      {"surrogate, all on missing values", node(Rule(), {}, {}, {passOn}), {kSysmis, kSysmis},
       false},
      // NaN makes notEqual true and every ordering false.
      {"NaN not equal", node(Rule(), {simple(1, 2.0), simple(7, 0.0)}, {0, 0}), {kNaN}, true},
      {"NaN ordering", node(Rule(), {simple(5, -kInf)}, {0}), {kNaN}, false},
      {"missing below", node(Rule(), {simple(3, 10.0)}, {0}), {kSysmis}, false},
      {"missing at least itself", node(Rule(), {simple(5, kSysmis)}, {0}), {kSysmis}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RuleSet set;
    set.rules = {c.rule};
    ScoringPlan plan({&set}, {1}, std::vector<bool>(c.record.size(), false));
    std::vector<int32_t> fired;
    plan.FiredRules(0, c.record.data(), true, fired);
    EXPECT_EQ(fired, c.fires ? std::vector<int32_t>{0} : std::vector<int32_t>{});
    const RefRecord rec{c.record, std::vector<bool>(c.record.size(), false)};
    EXPECT_EQ(RefHolds(c.rule, rec), c.fires) << "reference";
  }
}

// A model number outside the plan, a null rule-set slot, a rule set with no
// rule and one of which the model sees none fire nothing, and leave nothing
// of an earlier answer in `fired`; a rule set with no rule holds no bit
// words, so finding its fired rules must read none.
TEST(ScoringPlan, ModelsWithoutRulesFireNothing) {
  RuleSet empty;
  RuleSet one;
  one.rules.emplace_back();
  one.rules.back().fixedResult = 1;
  ScoringPlan plan({nullptr, &empty, &one, &one}, {2, 0, 0, 1, 4}, {false});
  const double values[] = {1.0};
  for (int m : {-1, 0, 1, 2, 4, 5}) {
    for (bool firstOnly : {true, false}) {
      std::vector<int32_t> fired = {7};
      plan.FiredRules(m, values, firstOnly, fired);
      EXPECT_TRUE(fired.empty()) << "model " << m;
    }
  }
  std::vector<int32_t> fired = {7};
  plan.FiredRules(3, values, false, fired);
  EXPECT_EQ(fired, std::vector<int32_t>({0}));
}

// One condition shared by 200 rules that turns false must drop them all, in
// every word; the rule after them still fires.
TEST(ScoringPlan, SharedConditionDropsRulesInEveryWord) {
  RuleSet set;
  for (int r = 0; r < 200; ++r) {
    Rule rule;
    rule.conditions.resize(2);
    rule.conditions[0].isSimple = true;
    rule.conditions[0].simpleOperator = SimplePredicate::kGreaterThan;
    rule.conditions[0].value = 2.0;
    rule.conditions[1].isSimple = true;
    rule.conditions[1].simpleOperator = SimplePredicate::kNotEqual;
    rule.conditions[1].value = static_cast<double>(r % 3);
    rule.varIndices = {0, 1};
    set.rules.push_back(rule);
  }
  set.rules.emplace_back();
  set.rules.back().fixedResult = 1;
  ScoringPlan plan({&set}, {201}, {false, false});
  std::vector<int32_t> fired;
  const double low[] = {1.0, 0.0};
  plan.FiredRules(0, low, false, fired);
  EXPECT_EQ(fired, std::vector<int32_t>({200}));
  const double high[] = {3.0, 0.0};
  plan.FiredRules(0, high, false, fired);
  std::vector<int32_t> expected;
  for (int r = 0; r < 200; ++r) {
    if (r % 3 != 0) expected.push_back(r);
  }
  expected.push_back(200);
  EXPECT_EQ(fired, expected);
  plan.FiredRules(0, high, true, fired);
  EXPECT_EQ(fired, std::vector<int32_t>({1}));
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
  std::vector<RefRecord> records;
  for (int i = 0; i < 200; ++i) records.push_back(RandomRecord(g, s));
  std::vector<int32_t> fired;
  fired.reserve(set.rules.size());

  // The counter sees an allocation.
  gAllocations = 0;
  gCountAllocations = true;
  void* volatile probe = ::operator new(8);
  ::operator delete(probe);
  gCountAllocations = false;
  ASSERT_EQ(gAllocations, 1);

  for (ScoringPlan::Walk walk : {ScoringPlan::Walk::kBest, ScoringPlan::Walk::kLazy}) {
    ScoringPlan plan({&set}, {static_cast<int32_t>(set.rules.size())}, s.isString);
    plan.SetWalk(walk);
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
}

// ---------------------------------------------------------------------------
// Whole models: predicates through the compile, records through the
// encoding, scored with the plan and with the model's rule-by-rule walk.

const std::vector<std::string> kNumericFields = {"n0", "n1", "n2"};
const std::vector<std::string> kTextFields = {"t0", "t1"};
const std::vector<std::string> kTexts = {"a", "b", "c"};
const std::vector<std::string> kCategories = {"A", "B", "C"};

// "zz" is declared by no field but named by some predicates (so it gets a
// code); "purple" is named by none.
ScorePredicate* RandomPredicate(Gen& g, ModelBuilder& b, int depth) {
  const int kind = g.Below(100);
  if (kind < 40) {
    const auto op = static_cast<SimplePredicate::SimplePredOperator>(g.Below(6));
    if (g.Chance(30)) return b.SimpleText(g.Pick(kTextFields), op, g.Chance(10) ? "zz" : g.Pick(kTexts));
    return b.Simple(g.Pick(kNumericFields), op, g.Pick(kNumbers));
  }
  if (kind < 50) {
    return b.Missing(g.Chance(50) ? g.Pick(kTextFields) : g.Pick(kNumericFields), g.Chance(50));
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
  if (depth >= 4) return b.Simple(g.Pick(kNumericFields), SimplePredicate::kGreaterThan, 0.0);
  std::vector<ScorePredicate*> members;
  const int count = 1 + g.Below(4);
  for (int i = 0; i < count; ++i) members.push_back(RandomPredicate(g, b, depth + 1));
  const int op = g.Chance(10) ? CompoundPredicate::kSurrogate
                              : g.Pick(std::vector<int>{CompoundPredicate::kAnd, CompoundPredicate::kAnd,
                                                        CompoundPredicate::kOr, CompoundPredicate::kXor});
  return ModelBuilder::Compound(op, std::move(members));
}

// Builds the same model for generators in the same state.
void BuildRandomModel(Gen& g, ModelBuilder& b,
                      RuleSetModel::Semantics semantics = RuleSetModel::native) {
  for (const std::string& f : kNumericFields) b.Numeric(f);
  for (const std::string& f : kTextFields) b.Text(f, kTexts);
  b.TextTarget("target", kCategories);
  const int models = 1 + g.Below(3);
  RuleSetModel& model = b.Start(models, semantics);
  if (g.Chance(models > 1 ? 20 : 10)) model.SetModelType(ScoreModel::kDecisionListModel);
  for (int m = 0; m < models; ++m) {
    const auto method = static_cast<RuleSetModel::RuleSetMethod>(g.Below(3));
    b.Settings(m, method, g.Pick(kCategories), 0.1 * g.Below(10));
    // Some rule sets beyond one word of rule bits.
    const int rules = g.Chance(20) ? 40 + g.Below(60) : g.Below(25);
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
}

// Returns whether a field was left missing (absent, or set missing).
bool FillRandomRecord(Gen& g, TestRecord& record) {
  record.Clear();
  bool anyMissing = false;
  for (const std::string& f : kNumericFields) {
    const int pick = g.Below(10);
    anyMissing = anyMissing || pick <= 1;
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
    const int pick = g.Below(9);
    anyMissing = anyMissing || pick <= 1;
    if (pick == 0) continue;
    if (pick == 1) {
      record.Missing(f);
    } else {
      record.Text(f, pick == 2 ? "zz" : pick == 3 ? "purple" : g.Pick(kTexts));
    }
  }
  return anyMissing;
}

::testing::AssertionResult SameScore(const Scored& a, const Scored& b) {
  const bool sameConfidence = a.confidence == b.confidence ||
                              (std::isnan(a.confidence) && std::isnan(b.confidence));
  if (a.code == b.code && a.hasPrediction == b.hasPrediction && a.prediction == b.prediction &&
      sameConfidence && a.fired == b.fired) {
    return ::testing::AssertionSuccess();
  }
  auto shown = [](const Scored& s) {
    return "code " + std::to_string(s.code) + (s.hasPrediction ? " " + s.prediction : " none") +
           " " + std::to_string(s.confidence) + " (" + std::to_string(s.fired.size()) + " fired)";
  };
  return ::testing::AssertionFailure() << "plan " << shown(a) << ", walk " << shown(b);
}

// Each model scored three ways: one model always with the plan, its twin
// always with the walk, and the first switched to the walk and back for
// every record (the switch must leave nothing behind either way); under
// each semantics. Under pmml a record with a missing predictor is scored
// three-valued by both; any other record scores as under native, which a
// native twin checks.
TEST(ScoringPlanDifferential, ModelsScoreAlikeWithPlanAndWithWalk) {
  for (const RuleSetModel::Semantics semantics : {RuleSetModel::native, RuleSetModel::pmml}) {
    SCOPED_TRACE(RuleSetModel::SemanticsName(semantics));
    Gen g(4242);
    int records = 0;
    int withFired = 0;
    int complete = 0;
    for (int trial = 0; trial < 240; ++trial) {
      ModelBuilder planned;
      ModelBuilder walked;
      ModelBuilder native;
      Gen twin = g;
      Gen nativeTwin = g;
      BuildRandomModel(g, planned, semantics);
      BuildRandomModel(twin, walked, semantics);
      BuildRandomModel(nativeTwin, native, RuleSetModel::native);
      walked.Model().SetUseReferenceWalk(true);
      TestRecord record(planned.FieldNames());
      ScoreResult* plannedResult = nullptr;
      ScoreResult* walkedResult = nullptr;
      ScoreResult* switchedResult = nullptr;
      ScoreResult* nativeResult = nullptr;
      for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE("trial " + std::to_string(trial) + ", record " + std::to_string(i));
        const bool anyMissing = FillRandomRecord(g, record);
        const Scored a = ScoreWith(planned.Model(), record.Get(), plannedResult);
        const Scored b = ScoreWith(walked.Model(), record.Get(), walkedResult);
        planned.Model().SetUseReferenceWalk(true);
        const Scored c = ScoreWith(planned.Model(), record.Get(), switchedResult);
        planned.Model().SetUseReferenceWalk(false);
        EXPECT_TRUE(SameScore(a, b));
        EXPECT_TRUE(SameScore(a, c)) << " (switched)";
        if (!anyMissing) {
          const Scored d = ScoreWith(native.Model(), record.Get(), nativeResult);
          EXPECT_TRUE(SameScore(a, d)) << " (native twin)";
          ++complete;
        }
        if (HasFailure()) break;
        ++records;
        if (!a.fired.empty()) ++withFired;
      }
      delete plannedResult;
      delete walkedResult;
      delete switchedResult;
      delete nativeResult;
      if (HasFailure()) return;
    }
    EXPECT_EQ(records, 9600);
    EXPECT_GT(withFired, semantics == RuleSetModel::native ? 8000 : 6000);
    EXPECT_GT(complete, 1000);
  }
}

// ---------------------------------------------------------------------------
// Derived fields: five derived fields of different kinds read by random
// rules. The twin document declares the five as data fields, and each
// record gives it the values computed here by the formulas below; both
// documents, and the first again with the rule-by-rule walk, must score
// every record alike.

const char kDerivedData[] = R"(
    <DataField name="a" optype="continuous" dataType="double"/>
    <DataField name="b" optype="continuous" dataType="double"/>
    <DataField name="c" optype="categorical" dataType="string"/>
    <DataField name="y" optype="categorical" dataType="string"/>)";

const char kDerivedFields[] = R"(<TransformationDictionary>
    <DerivedField name="d1" optype="continuous" dataType="double">
      <Apply function="-"><Apply function="*"><FieldRef field="a"/><FieldRef field="b"/></Apply><Constant>1</Constant></Apply></DerivedField>
    <DerivedField name="d2" optype="continuous" dataType="double">
      <NormContinuous field="a"><LinearNorm orig="0" norm="0"/><LinearNorm orig="10" norm="1"/></NormContinuous></DerivedField>
    <DerivedField name="d3" optype="categorical" dataType="string">
      <Discretize field="b" mapMissingTo="none">
        <DiscretizeBin binValue="neg"><Interval closure="openOpen" rightMargin="0"/></DiscretizeBin>
        <DiscretizeBin binValue="low"><Interval closure="closedOpen" leftMargin="0" rightMargin="5"/></DiscretizeBin>
        <DiscretizeBin binValue="high"><Interval closure="closedOpen" leftMargin="5"/></DiscretizeBin>
      </Discretize></DerivedField>
    <DerivedField name="d4" optype="continuous" dataType="double">
      <Apply function="if"><Apply function="greaterThan"><FieldRef field="a"/><FieldRef field="b"/></Apply><FieldRef field="a"/><FieldRef field="b"/></Apply></DerivedField>
    <DerivedField name="d5" optype="categorical" dataType="boolean">
      <Apply function="isIn"><FieldRef field="c"/><Constant>x</Constant><Constant>y</Constant></Apply></DerivedField>
  </TransformationDictionary>)";

const char kPrecomputedData[] = R"(
    <DataField name="d1" optype="continuous" dataType="double"/>
    <DataField name="d2" optype="continuous" dataType="double"/>
    <DataField name="d3" optype="categorical" dataType="string"/>
    <DataField name="d4" optype="continuous" dataType="double"/>
    <DataField name="d5" optype="categorical" dataType="boolean"/>)";

const std::vector<std::string> kDerivedNumbers = {"d1", "d2", "d4"};
const std::vector<std::string> kOperators = {"equal", "notEqual", "lessThan", "lessOrEqual",
                                             "greaterThan", "greaterOrEqual", "isMissing",
                                             "isNotMissing"};
const std::vector<std::string> kCompared = {"-1", "0", "0.5", "1", "2", "3", "5"};

std::string RandomDerivedPredicate(Gen& g, int depth) {
  const int kind = g.Below(100);
  if (kind < 50) {
    const std::string op = g.Pick(kOperators);
    const std::string value =
        op == "isMissing" || op == "isNotMissing" ? "" : " value=\"" + g.Pick(kCompared) + "\"";
    return "<SimplePredicate field=\"" + g.Pick(kDerivedNumbers) + "\" operator=\"" + op + "\"" +
           value + "/>";
  }
  if (kind < 65) {
    const std::string op = g.Chance(50) ? "equal" : "notEqual";
    const std::string value = g.Pick(std::vector<std::string>{"neg", "low", "high", "none", "zz"});
    return "<SimplePredicate field=\"d3\" operator=\"" + op + "\" value=\"" + value + "\"/>";
  }
  if (kind < 75) {
    return std::string("<SimplePredicate field=\"d5\" operator=\"equal\" value=\"") +
           (g.Chance(50) ? "true" : "false") + "\"/>";
  }
  if (kind < 80) return "<True/>";
  if (depth >= 3) return "<SimplePredicate field=\"d1\" operator=\"greaterThan\" value=\"0\"/>";
  std::string members;
  const int count = 2 + g.Below(2);
  for (int i = 0; i < count; ++i) members += RandomDerivedPredicate(g, depth + 1);
  const std::string op = g.Pick(std::vector<std::string>{"and", "or", "xor"});
  return "<CompoundPredicate booleanOperator=\"" + op + "\">" + members + "</CompoundPredicate>";
}

// One rule set of random rules over the derived fields, and the two
// documents that hold it.
void RandomDerivedDocuments(Gen& g, std::string* derived, std::string* precomputed) {
  const std::vector<std::string> scores = {"A", "B", "C"};
  std::string ruleSet = "<RuleSet defaultScore=\"" + g.Pick(scores) +
                        "\" defaultConfidence=\"0.3\"><RuleSelectionMethod criterion=\"" +
                        g.Pick(std::vector<std::string>{"firstHit", "weightedSum", "weightedMax"}) +
                        "\"/>";
  const int rules = 1 + g.Below(12);
  for (int r = 0; r < rules; ++r) {
    ruleSet += "<SimpleRule id=\"r" + std::to_string(r) + "\" score=\"" + g.Pick(scores) +
               "\" weight=\"" + std::to_string(1 + g.Below(9)) + "\" confidence=\"0." +
               std::to_string(1 + g.Below(9)) + "\">" + RandomDerivedPredicate(g, 0) +
               "</SimpleRule>";
  }
  ruleSet += "</RuleSet>";
  auto document = [&ruleSet](const std::string& data, const std::string& transformations,
                             const std::string& fields) {
    return R"(<?xml version="1.0"?><PMML version="4.4"><DataDictionary>)" + data +
           "</DataDictionary>" + transformations +
           R"(<RuleSetModel functionName="classification"><MiningSchema>)" + fields +
           R"(<MiningField name="y" usageType="predicted"/></MiningSchema>)" + ruleSet +
           "</RuleSetModel></PMML>";
  };
  *derived = document(kDerivedData, kDerivedFields,
                      R"(<MiningField name="a"/><MiningField name="b"/><MiningField name="c"/>)");
  *precomputed = document(std::string(kDerivedData) + kPrecomputedData, "",
                          R"(<MiningField name="d1"/><MiningField name="d2"/><MiningField name="d3"/>)"
                          R"(<MiningField name="d4"/><MiningField name="d5"/>)");
}

// A random record for the derived document, and the same record with the
// derived values computed by the formulas of kDerivedFields.
void RandomDerivedRecords(Gen& g, TestRecord& raw, TestRecord& computed) {
  raw.Clear();
  computed.Clear();
  const std::vector<double> numbers = {-3.0, -1.0, 0.0, 0.5, 1.0, 2.0, 4.0, 5.0, 7.5, 10.0, 12.0};
  const bool hasA = !g.Chance(15);
  const bool hasB = !g.Chance(15);
  const double a = g.Pick(numbers);
  const double b = g.Pick(numbers);
  const int c = g.Below(5);  // 0: missing
  const char* texts[] = {"", "x", "y", "z", "X"};
  if (hasA) raw.Number("a", a); else raw.Missing("a");
  if (hasB) raw.Number("b", b); else raw.Missing("b");
  if (c > 0) raw.Text("c", texts[c]); else raw.Missing("c");

  if (hasA && hasB) computed.Number("d1", a * b - 1); else computed.Missing("d1");
  if (hasA) computed.Number("d2", 0 + (a - 0) / (10 - 0) * (1 - 0)); else computed.Missing("d2");
  computed.Text("d3", !hasB ? "none" : b < 0 ? "neg" : b < 5 ? "low" : "high");
  if (hasA && hasB) computed.Number("d4", a > b ? a : b); else computed.Missing("d4");
  if (c > 0) computed.Number("d5", c == 1 || c == 2 ? 1.0 : 0.0); else computed.Missing("d5");
}

TEST(ScoringPlanDifferential, DerivedFieldsScoreLikePrecomputedFields) {
  Gen g(777);
  int records = 0;
  int withFired = 0;
  int refusals = 0;
  for (int trial = 0; trial < 80; ++trial) {
    std::string derivedText;
    std::string precomputedText;
    RandomDerivedDocuments(g, &derivedText, &precomputedText);
    // Some random rules are refused (two equalities on one field under an
    // and select nothing): then by both documents alike.
    const testing_support::TranslationFailure refused =
        testing_support::TranslationFailureOf(derivedText, "derived.pmml");
    if (refused.code != 0) {
      EXPECT_EQ(testing_support::TranslationFailureOf(precomputedText, "p.pmml").code, refused.code);
      ++refusals;
      continue;
    }
    auto derived = testing_support::TranslateDocument(derivedText, "derived.pmml");
    auto walked = testing_support::TranslateDocument(derivedText, "derived.pmml");
    auto precomputed = testing_support::TranslateDocument(precomputedText, "precomputed.pmml");
    ASSERT_NE(derived->model, nullptr);
    ASSERT_NE(precomputed->model, nullptr);
    walked->model->SetUseReferenceWalk(true);
    TestRecord raw({"a", "b", "c"});
    TestRecord computed({"d1", "d2", "d3", "d4", "d5"});
    ScoreResult* derivedResult = nullptr;
    ScoreResult* walkedResult = nullptr;
    ScoreResult* precomputedResult = nullptr;
    for (int i = 0; i < 50; ++i) {
      SCOPED_TRACE("trial " + std::to_string(trial) + ", record " + std::to_string(i));
      RandomDerivedRecords(g, raw, computed);
      const Scored a = ScoreWith(*derived->model, raw.Get(), derivedResult);
      const Scored b = ScoreWith(*walked->model, raw.Get(), walkedResult);
      const Scored c = ScoreWith(*precomputed->model, computed.Get(), precomputedResult);
      EXPECT_TRUE(SameScore(a, b)) << " (walk)";
      EXPECT_TRUE(SameScore(a, c)) << " (precomputed)";
      if (HasFailure()) break;
      ++records;
      if (!a.fired.empty()) ++withFired;
    }
    delete derivedResult;
    delete walkedResult;
    delete precomputedResult;
    if (HasFailure()) return;
  }
  EXPECT_EQ(records, 50 * (80 - refusals));
  EXPECT_GT(records, 2000);
  EXPECT_GT(withFired, records / 2);
}

}  // namespace
}  // namespace KtZembra_940
