// The scoring plan against the rule-by-rule walk. Two levels:
// - compiled structures: random rule sets (every operator code, odd boolean
//   operators, fixed results, nested compounds, constant members, unpaired
//   variable lists) and random encoded records; the plan's fired rules must
//   equal those of an evaluator written here, straight from the rule-firing
//   rules, that shares no code with the model;
// - whole models: random rule sets built through the model's own building
//   operations, scored by GetScore with the plan and with the reference
//   walk; prediction, confidence and fired rules must be identical.
#include "scoring/ScoringPlan.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/CompoundPredicate.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"

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

const double kSysmis = std::numeric_limits<double>::lowest();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// Independent reference: the firing rules as written, one entry at a time.

enum class Said { kFalse, kTrue, kNothing };

struct RefRecord {
  const std::vector<double>& values;
  const std::vector<bool>& isString;
};

// The variable of the entry at `position`: with one slot per entry the
// slot at the same position, otherwise the k-th slot for the k-th simple
// or set entry. A slot that is absent, or names no variable of the record,
// reads as a missing numeric value.
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

Said RefEntry(const Condition& c, int32_t var, const RefRecord& rec) {
  double x = kSysmis;
  bool stringVar = false;
  if (var >= 0 && static_cast<size_t>(var) < rec.values.size()) {
    x = rec.values[static_cast<size_t>(var)];
    stringVar = rec.isString[static_cast<size_t>(var)];
  }
  auto said = [](bool b) { return b ? Said::kTrue : Said::kFalse; };
  if (c.isSimple) {
    const double v = c.value;
    const bool missing = x == kSysmis;
    switch (c.simpleOperator) {
      case 0: return said(x == v);
      case 1: return said(!(x == v));
      case 2: return said(x < v && !missing);
      case 3: return said(x <= v && !missing);
      case 4: return said(x > v);
      case 5: return said(x >= v);
      case 6: return said(stringVar ? x == -1.0 : missing);
      case 7: return said(stringVar ? !(x == -1.0) : !missing);
      default: return Said::kNothing;
    }
  }
  if (c.isSet) {
    bool found = false;
    for (double member : c.setValues) found = found || member == x;
    if (c.setOperator == SetPredicate::kIsIn) return said(found);
    if (c.setOperator == SetPredicate::kIsNotIn) return said(!found);
    return Said::kNothing;
  }
  if (c.isTrue) return Said::kTrue;
  if (c.isFalse) return Said::kFalse;
  return Said::kNothing;
}

template <class Node>
bool RefHolds(const Node& node, const RefRecord& rec) {
  if (node.fixedResult != 0) return node.fixedResult == 1;
  const int op = node.boolOperator;
  bool r = false;
  bool p = false;
  for (const Compound& member : node.compConditions) {
    r = RefHolds(member, rec);
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) p = p != r;
  }
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Said said = RefEntry(node.conditions[i], SlotFor(node.conditions, node.varIndices, i), rec);
    if (said != Said::kNothing) r = said == Said::kTrue;
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) p = p != r;
  }
  return op == 2 ? p : r;
}

std::vector<int32_t> RefFired(const RuleSet* set, int32_t count, const RefRecord& rec,
                              bool firstOnly) {
  std::vector<int32_t> fired;
  if (set == nullptr) return fired;
  const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(set->rules.size()));
  for (int32_t k = 0; k < n; ++k) {
    if (!RefHolds(set->rules[static_cast<size_t>(k)], rec)) continue;
    fired.push_back(k);
    if (firstOnly) break;
  }
  return fired;
}

// ---------------------------------------------------------------------------
// Random compiled structures.

class StructGenerator {
 public:
  StructGenerator(uint32_t seed, int varCount) : rng_(seed), varCount_(varCount) {
    // A small pool of conditions that rules draw from, so that the same
    // variable, operator and value recur across rules and inside them.
    const int poolSize = 4 + Below(10);
    for (int i = 0; i < poolSize; ++i) {
      int32_t var = Below(varCount_);
      pool_.push_back({FreshCondition(), var});
    }
  }

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }

  Rule MakeRule(int index) {
    Rule rule;
    rule.ruleId = "r" + std::to_string(index);
    const int fixed = Below(100);
    rule.fixedResult = fixed < 4 ? 1 : (fixed < 8 ? 2 : 0);
    const int op = Below(100);
    rule.boolOperator = op < 82 ? 1 : (op < 88 ? 0 : (op < 94 ? 2 : 7));
    const int comps = Chance(0.4) ? Below(3) : 0;
    for (int i = 0; i < comps; ++i) rule.compConditions.push_back(MakeCompound(2));
    FillConditions(rule.conditions, rule.varIndices, Below(5));
    return rule;
  }

 private:
  struct PoolEntry {
    Condition condition;
    int32_t var;
  };

  double ConditionValue() {
    static const double kValues[] = {-1.0, 0.0, 1.0, 2.0, 3.0, 5.0};
    if (Chance(0.02)) return kNaN;
    return kValues[Below(6)];
  }

  Condition FreshCondition() {
    Condition c;
    const int kind = Below(100);
    if (kind < 65) {
      c.isSimple = true;
      c.simpleOperator = Chance(0.03) ? 9 : Below(8);
      c.value = ConditionValue();
    } else {
      c.isSet = true;
      c.value = kSysmis;
      c.setOperator = Chance(0.04) ? 5 : (Chance(0.6) ? SetPredicate::kIsIn : SetPredicate::kIsNotIn);
      const int members = Below(4);
      for (int i = 0; i < members; ++i) c.setValues.push_back(ConditionValue());
    }
    return c;
  }

  void FillConditions(std::vector<Condition>& conditions, std::vector<int32_t>& varIndices,
                      int count) {
    for (int i = 0; i < count; ++i) {
      const int kind = Below(100);
      if (kind < 8) {
        Condition c;
        (Chance(0.5) ? c.isTrue : c.isFalse) = true;
        if (Chance(0.1)) c.isTrue = c.isFalse = false;  // no flag at all
        conditions.push_back(c);
        varIndices.push_back(-1);
        continue;
      }
      if (kind < 78) {
        const PoolEntry& entry = pool_[static_cast<size_t>(Below(static_cast<int>(pool_.size())))];
        conditions.push_back(entry.condition);
        varIndices.push_back(entry.var);
      } else {
        conditions.push_back(FreshCondition());
        // Now and then a variable index that names no variable.
        varIndices.push_back(Chance(0.03) ? (Chance(0.5) ? -1 : varCount_) : Below(varCount_));
      }
    }
    // Unpaired lists: the constant members' slots dropped, one slot short,
    // or one slot too many.
    const int shape = Below(100);
    if (shape < 8) {
      std::vector<int32_t> kept;
      for (size_t i = 0; i < conditions.size(); ++i) {
        if (conditions[i].isSimple || conditions[i].isSet) kept.push_back(varIndices[i]);
      }
      varIndices = kept;
    } else if (shape < 12 && !varIndices.empty()) {
      varIndices.pop_back();
    } else if (shape < 15) {
      varIndices.push_back(Below(varCount_));
    }
  }

  Compound MakeCompound(int depth) {
    Compound comp;
    static const int kOps[] = {0, 1, 2, 5};
    comp.boolOperator = kOps[Below(4)];
    const int fixed = Below(100);
    comp.fixedResult = fixed < 5 ? 1 : (fixed < 10 ? 2 : 0);
    if (depth < 4) {
      const int comps = Chance(0.35) ? Below(3) : 0;
      for (int i = 0; i < comps; ++i) comp.compConditions.push_back(MakeCompound(depth + 1));
    }
    FillConditions(comp.conditions, comp.varIndices, Below(5));
    return comp;
  }

  std::mt19937 rng_;
  int varCount_;
  std::vector<PoolEntry> pool_;
};

std::vector<double> RandomRecord(std::mt19937& rng, const std::vector<bool>& isString) {
  static const double kNumbers[] = {-1.0, 0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
  std::vector<double> values(isString.size());
  auto below = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  for (size_t v = 0; v < values.size(); ++v) {
    const int pick = below(20);
    if (isString[v]) {
      values[v] = pick < 4 ? -1.0 : static_cast<double>(below(4));
    } else if (pick < 3) {
      values[v] = kSysmis;
    } else if (pick < 4) {
      values[v] = kNaN;
    } else {
      values[v] = kNumbers[below(7)];
    }
  }
  return values;
}

std::string Describe(const std::vector<int32_t>& positions) {
  std::ostringstream out;
  out << "[";
  for (size_t i = 0; i < positions.size(); ++i) out << (i ? " " : "") << positions[i];
  out << "]";
  return out.str();
}

struct RandomModel {
  std::vector<std::unique_ptr<RuleSet>> owned;
  std::vector<RuleSet*> ruleSets;
  std::vector<int32_t> ruleCount;
  std::vector<bool> isString;
};

RandomModel MakeRandomModel(uint32_t seed) {
  std::mt19937 shape(seed * 2654435761u + 1);
  auto below = [&shape](int n) { return std::uniform_int_distribution<int>(0, n - 1)(shape); };
  RandomModel model;
  const int varCount = 1 + below(5);
  for (int v = 0; v < varCount; ++v) model.isString.push_back(below(3) == 0);
  StructGenerator gen(seed, varCount);
  const int models = 1 + below(3);
  for (int m = 0; m < models; ++m) {
    if (below(12) == 0) {
      // A model without compiled rules.
      model.ruleSets.push_back(nullptr);
      model.ruleCount.push_back(0);
      continue;
    }
    auto set = std::make_unique<RuleSet>();
    // Mostly small sets; some beyond one and two words of rule bits.
    const int rules = below(6) == 0 ? 60 + below(140) : below(24);
    for (int r = 0; r < rules; ++r) set->rules.push_back(gen.MakeRule(r));
    int32_t count = static_cast<int32_t>(rules);
    // Now and then the model sees fewer rules than the set holds.
    if (below(10) == 0 && count > 0) count -= 1 + below(count);
    model.ruleSets.push_back(set.get());
    model.ruleCount.push_back(count);
    model.owned.push_back(std::move(set));
  }
  // A count for a model past the end of the rule-set table.
  if (below(10) == 0) model.ruleCount.push_back(3);
  return model;
}

TEST(ScoringPlanStructures, RandomRuleSetsMatchTheReference) {
  int compared = 0;
  int firedSeen = 0;
  for (uint32_t seed = 1; seed <= 900; ++seed) {
    RandomModel model = MakeRandomModel(seed);
    ScoringPlan plan(model.ruleSets, model.ruleCount, model.isString);
    std::mt19937 records(seed);
    std::vector<int32_t> fired;
    for (int i = 0; i < 12; ++i) {
      const std::vector<double> values = RandomRecord(records, model.isString);
      const RefRecord rec{values, model.isString};
      for (size_t m = 0; m < model.ruleCount.size(); ++m) {
        const RuleSet* set = m < model.ruleSets.size() ? model.ruleSets[m] : nullptr;
        for (bool firstOnly : {true, false}) {
          const std::vector<int32_t> expected = RefFired(set, model.ruleCount[m], rec, firstOnly);
          plan.FiredRules(static_cast<int>(m), values.data(), firstOnly, fired);
          ASSERT_EQ(Describe(fired), Describe(expected))
              << "seed " << seed << " record " << i << " model " << m
              << (firstOnly ? " first only" : " all");
          ++compared;
          firedSeen += static_cast<int>(expected.size());
        }
      }
    }
  }
  // The generator must produce records that fire rules, and many of them.
  EXPECT_GT(compared, 40000);
  EXPECT_GT(firedSeen, 100000);
}

// A model number outside the plan gives no rules, and so does a null slot.
TEST(ScoringPlanStructures, ModelsWithoutRulesFireNothing) {
  RuleSet set;
  Rule always;
  always.fixedResult = 1;
  set.rules.push_back(always);
  std::vector<RuleSet*> sets = {nullptr, &set};
  ScoringPlan plan(sets, {0, 1, 4}, {false});
  const double values[] = {1.0};
  std::vector<int32_t> fired = {7};
  for (int m : {-1, 0, 2, 3}) {
    plan.FiredRules(m, values, false, fired);
    EXPECT_TRUE(fired.empty()) << "model " << m;
  }
  plan.FiredRules(1, values, false, fired);
  EXPECT_EQ(fired, std::vector<int32_t>({0}));
}

// A rule set that is there but has no rule, or of which the model sees
// none, holds no bit words; finding its fired rules must touch none.
TEST(ScoringPlanStructures, RuleSetWithoutRulesFiresNothing) {
  RuleSet empty;
  RuleSet one;
  one.rules.emplace_back();
  one.rules.back().fixedResult = 1;
  std::vector<RuleSet*> sets = {&empty, &one};
  ScoringPlan plan(sets, {0, 0}, {false});
  const double values[] = {1.0};
  std::vector<int32_t> fired = {3};
  for (int m : {0, 1}) {
    for (bool firstOnly : {true, false}) {
      plan.FiredRules(m, values, firstOnly, fired);
      EXPECT_TRUE(fired.empty()) << "model " << m;
    }
  }
}

// One condition shared by 200 rules (bit-set kill list) that turns false
// must drop them all, in every word; the rules after it still fire.
TEST(ScoringPlanStructures, SharedConditionDropsRulesInEveryWord) {
  RuleSet set;
  Condition gt;
  gt.isSimple = true;
  gt.simpleOperator = SimplePredicate::kGreaterThan;
  gt.value = 2.0;
  for (int r = 0; r < 200; ++r) {
    Rule rule;
    rule.conditions.push_back(gt);
    rule.varIndices.push_back(0);
    Condition eq;
    eq.isSimple = true;
    eq.simpleOperator = SimplePredicate::kNotEqual;
    eq.value = static_cast<double>(r % 3);
    rule.conditions.push_back(eq);
    rule.varIndices.push_back(1);
    set.rules.push_back(rule);
  }
  Rule last;
  last.fixedResult = 1;
  set.rules.push_back(last);
  std::vector<RuleSet*> sets = {&set};
  ScoringPlan plan(sets, {201}, {false, false});
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

// ---------------------------------------------------------------------------
// Whole models: the plan and the reference walk through GetScore.

const char* const kNumericFields[] = {"n0", "n1", "n2"};
const char* const kTextFields[] = {"s0", "s1"};
const char* const kCategories[] = {"A", "B", "C"};
const char* const kTexts[] = {"red", "green", "blue"};

class ModelGenerator {
 public:
  explicit ModelGenerator(uint32_t seed) : rng_(seed) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  // Builds the same model for the same seed.
  void Build(ModelBuilder& b) {
    for (const char* f : kNumericFields) b.Numeric(f);
    for (const char* f : kTextFields) b.Text(f, {kTexts[0], kTexts[1], kTexts[2]});
    b.TextTarget("y", {kCategories[0], kCategories[1], kCategories[2]});
    const int models = 1 + Below(3);
    b.Start(models);
    if (Below(8) == 0) b.Model().SetModelType(ScoreModel::kDecisionListModel);
    static const RuleSetModel::RuleSetMethod kMethods[] = {
        RuleSetModel::firstHit, RuleSetModel::weightedSum, RuleSetModel::weightedMax};
    for (int m = 0; m < models; ++m) {
      b.Settings(m, kMethods[Below(3)], kCategories[Below(3)], 0.1 * Below(10));
      const int rules = Below(4) == 0 ? 40 + Below(60) : Below(16);
      for (int r = 0; r < rules; ++r) {
        static const double kWeights[] = {0.0, 0.25, 0.5, 1.0, -1.0, 0.5};
        b.Rule(m, "m" + std::to_string(m) + "r" + std::to_string(r), kCategories[Below(3)],
               kWeights[Below(6)], 0.1 * Below(11), Predicate(b, 0));
      }
    }
    if (Below(5) == 0) {
      b.Costs({{"A", {{"B", 1.0 + Below(3)}, {"C", 2.0}}},
               {"B", {{"A", 1.0}, {"C", 0.5 * Below(4)}}},
               {"C", {{"A", 3.0}, {"B", 1.0}}}});
    }
  }

 private:
  ScorePredicate* Predicate(ModelBuilder& b, int depth) {
    const int kind = Below(100);
    if (kind < 3) return ModelBuilder::True();
    if (kind < 5) return ModelBuilder::False();
    if (kind < 35 && depth < 4) {
      static const int kOps[] = {CompoundPredicate::kAnd, CompoundPredicate::kAnd,
                                 CompoundPredicate::kOr, CompoundPredicate::kXor};
      const int op = kOps[Below(4)];
      std::vector<ScorePredicate*> members;
      const int count = 1 + Below(4);
      for (int i = 0; i < count; ++i) members.push_back(Predicate(b, depth + 1));
      return ModelBuilder::Compound(op, std::move(members));
    }
    if (kind < 70) {
      static const double kValues[] = {-1.0, 0.0, 1.0, 2.0, 3.0};
      const int op = Below(6);
      return b.Simple(kNumericFields[Below(3)], static_cast<SimplePredicate::SimplePredOperator>(op),
                      kValues[Below(5)]);
    }
    if (kind < 78) {
      const bool text = Below(2) == 0;
      return b.Missing(text ? kTextFields[Below(2)] : kNumericFields[Below(3)], Below(2) == 0);
    }
    if (kind < 88) {
      const int op = Below(2);
      return b.SimpleText(kTextFields[Below(2)],
                          op == 0 ? SimplePredicate::kEqual : SimplePredicate::kNotEqual,
                          kTexts[Below(3)]);
    }
    std::vector<std::string> members;
    const int count = 1 + Below(2);
    for (int i = 0; i < count; ++i) members.push_back(kTexts[Below(3)]);
    return b.SetText(kTextFields[Below(2)],
                     Below(2) == 0 ? SetPredicate::kIsIn : SetPredicate::kIsNotIn, members);
  }

  std::mt19937 rng_;
};

void FillRecord(std::mt19937& rng, TestRecord& record) {
  auto below = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  static const double kNumbers[] = {-1.0, 0.0, 1.0, 2.0, 3.0, 4.0};
  record.Clear();
  for (const char* f : kNumericFields) {
    const int pick = below(10);
    if (pick == 0) continue;
    if (pick == 1) {
      record.Missing(f);
    } else if (pick == 2) {
      record.Number(f, kNaN);
    } else {
      record.Number(f, kNumbers[below(6)]);
    }
  }
  for (const char* f : kTextFields) {
    const int pick = below(8);
    if (pick == 0) continue;
    record.Text(f, pick == 1 ? "purple" : kTexts[below(3)]);
  }
}

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

TEST(ScoringPlanModels, RandomModelsScoreLikeTheReferenceWalk) {
  std::vector<std::string> fields;
  for (const char* f : kNumericFields) fields.push_back(f);
  for (const char* f : kTextFields) fields.push_back(f);
  int records = 0;
  int withFired = 0;
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    ModelBuilder planned;
    ModelBuilder walked;
    ModelGenerator(seed).Build(planned);
    ModelGenerator(seed).Build(walked);
    walked.Model().SetUseReferenceWalk(true);
    ScoreResult* plannedResult = nullptr;
    ScoreResult* walkedResult = nullptr;
    std::mt19937 rng(seed + 1000);
    TestRecord record(fields);
    for (int i = 0; i < 30; ++i) {
      FillRecord(rng, record);
      const Scored a = ScoreWith(planned.Model(), record.Get(), plannedResult);
      const Scored b = ScoreWith(walked.Model(), record.Get(), walkedResult);
      ASSERT_EQ(a.code, b.code) << "seed " << seed << " record " << i;
      ASSERT_EQ(a.hasPrediction, b.hasPrediction) << "seed " << seed << " record " << i;
      ASSERT_EQ(a.prediction, b.prediction) << "seed " << seed << " record " << i;
      ASSERT_TRUE(SameNumber(a.confidence, b.confidence))
          << "seed " << seed << " record " << i << ": " << a.confidence << " vs " << b.confidence;
      ASSERT_EQ(a.fired, b.fired) << "seed " << seed << " record " << i;
      ++records;
      if (!a.fired.empty()) ++withFired;
    }
    delete plannedResult;
    delete walkedResult;
  }
  EXPECT_EQ(records, 4500);
  EXPECT_GT(withFired, 3500);
}

}  // namespace
}  // namespace KtZembra_940
