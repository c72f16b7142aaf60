// A model's scoring plan: built once from the compiled rule sets, it finds
// the rules that fire for one record while testing each distinct condition
// at most once, and dropping every rule that needs a condition as soon as
// that condition is known to be false. The rules it reports, and their
// order, are exactly those of the rule-by-rule walk.
//
// How: every rule whose top level is an "and" (all compiled rules) is
// flattened into the list of conditions it requires: its simple and set
// conditions, and those of nested "and" compounds, become shared items
// (one per distinct variable, operator and value); "or", "xor" and other
// compounds stay whole and are evaluated as one item. Within a rule the
// items shared by the most rules come first.
//
// The lazy walk: a bit set holds the rules still alive for the record; the
// walk takes the first alive rule, tests its items (each at most once per
// record) and, when one is false, clears at once every rule that requires
// it. For a rule set made from a decision tree this tests about as many
// conditions as the tree's depth. Before it tests anything, the walk drops
// the rules that the record's region of each covered variable rules out
// (RegionMasks: one lookup per variable instead of a test per condition);
// the conditions those masks stand for are not tested again.
//
// The decision diagram: on the first record of each kind (first hit, all
// fired) the lazy walk is unrolled over both outcomes of every item it
// would test, using what comparisons on one variable imply for each other
// ("x <= 3" true makes "x > 3" false). When that stays small (a rule set
// cut from a tree gives about the tree itself), records walk the diagram:
// one branch per test, no bookkeeping. Otherwise the lazy walk serves.
// Where it is shallow enough the diagram is also unfolded into a
// heap-ordered tree for ordinary numbers, whose walk computes each next
// node instead of loading it.
//
// Not thread-safe: FiredRules writes per-record scratch (one model scores
// one record at a time).
#ifndef RULESCORE_SCORING_SCORINGPLAN_H_
#define RULESCORE_SCORING_SCORINGPLAN_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/RuleSetModel.h"
#include "scoring/RegionMasks.h"

namespace KtZembra_940 {

class ScoringPlan {
 public:
  // `ruleSets` and `ruleCount` as the model holds them after its record
  // set-up: model m sees the first ruleCount[m] rules of ruleSets[m] (a
  // missing or null slot has none). `predVarIsString` tells, per variable
  // index, whether the variable is a string one (missing is -1.0 there).
  // The plan keeps copies of what it evaluates: rules compiled later do not
  // disturb it.
  ScoringPlan(const std::vector<RuleSetModel::ST_RuleSet*>& ruleSets,
              const std::vector<int32_t>& ruleCount, const std::vector<bool>& predVarIsString);
  ~ScoringPlan();
  ScoringPlan(const ScoringPlan&) = delete;
  ScoringPlan& operator=(const ScoringPlan&) = delete;

  // Replaces `fired` with the positions (in model m's rule list) of the
  // rules of model m that fire for the encoded record `values`, in rule
  // order; with `firstOnly` only the first of them. The first call of each
  // kind may build the decision diagram; after that nothing is allocated
  // once `fired` has grown to its largest size.
  void FiredRules(int m, const double* values, bool firstOnly, std::vector<int32_t>& fired);
  // The position of the first rule of model m that fires, or -1: what
  // FiredRules gives with `firstOnly`, without a list.
  int32_t FirstFiredRule(int m, const double* values);

  // How records find their rules: kBest takes the unfolded diagram, else the
  // diagram, else the lazy walk, whichever is built first; kDiagram never
  // unfolds; kLazy always walks lazily (with the region masks). For tests
  // and benchmarks that compare them; set before the first record.
  enum class Walk { kBest, kDiagram, kLazy };
  void SetWalk(Walk way) { walk = way; }

  // Number of distinct items of model m (for tests and benchmarks).
  int ItemCount(int m) const;
  // Approximate bytes held by the plan.
  size_t MemoryBytes() const;

 private:
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

  // The lazy walk of one model unrolled, for one way of collecting (first
  // hit or all fired), into a decision diagram: each node tests one item
  // and names the node that follows for either outcome; a leaf (a negative
  // index, ~leaf) lists the rules that fire. Walking it tests the items the
  // lazy walk would test, in the same order, with no per-record
  // bookkeeping. It is built on the first record that needs it, and only
  // while it stays small; otherwise the lazy walk serves.
  struct DagNode {
    double value = 0.0;
    int32_t var = 0;
    int32_t item = 0;
    int32_t next[2] = {0, 0};  // [outcome false, outcome true]
    // For a comparison: the node that follows when x > value, and when x <
    // value and x is not the system-missing value; the common cases, taken
    // on one test each like a hand-written tree.
    int32_t nextGreater = 0;
    int32_t nextLess = 0;
    // A comparison of one variable: the outcome for each relation of x to
    // value (bit rel + 4 * missing; rel 0 less, 1 equal, 2 greater,
    // 3 unordered; missing: x is the system-missing value).
    uint8_t mask = 0;
    bool simple = false;
  };
  // What a record's walk reads of a node, packed: x > above goes to
  // nextGreater, else x >= atLeast to nextLess, else the node is decided
  // in full (equality, NaN, the system-missing value, a compound or set).
  // A node that always needs the full decision has NaN bounds.
  struct DagStep {
    double above = 0.0;
    double atLeast = 0.0;
    int32_t var = 0;
    int32_t nextGreater = 0;
    int32_t nextLess = 0;
  };
  // The diagram unfolded, along its ordinary branches, into a tree stored
  // as a heap: from slot k, x > above goes to slot 2k + 2 and atLeast <= x
  // <= above to 2k + 1, so the next slot is computed, not loaded, and a
  // record's walk is not a chain of dependent loads. Any other x goes on in
  // the folded diagram from diagram node `node`, decided in full; `node` is
  // ~leaf at a leaf. Built when the unfolded tree is shallow enough.
  struct HeapStep {
    double above = 0.0;
    double atLeast = 0.0;
    int32_t var = 0;
    int32_t node = -1;
  };
  struct Dag {
    bool built = false;
    bool usable = false;
    int32_t root = 0;
    std::vector<HeapStep> heap;  // empty when the unfolded tree is too deep
    std::vector<DagStep> steps;  // one per node
    std::vector<DagNode> nodes;
    std::vector<int32_t> leafBegin;  // leaves + 1 offsets into leafRules
    std::vector<int32_t> leafRules;
    std::vector<int32_t> leafFirst;  // per leaf its first rule, or -1
  };

  struct ModelPlan {
    int32_t ruleCount = 0;
    int32_t words = 0;
    std::vector<uint64_t> initialAlive;  // rules that can fire at all
    std::vector<int32_t> ruleItemBegin;  // ruleCount + 1 offsets into ruleItems
    std::vector<int32_t> ruleItems;      // per rule, the items it requires
    // Per rule, the end of the items the walk tests: those the region
    // masks do not stand for come first in the rule's list.
    std::vector<int32_t> ruleTestEnd;
    // The rules that survive each region of the covered variables, built
    // when the walk first serves (the diagram needs none).
    RegionMasks regions;
    bool covered = false;
    std::vector<Item> items;
    std::vector<double> setValues;
    std::vector<RuleSetModel::ST_COMP_Condition> compounds;
    std::vector<RuleSetModel::ST_Rule> rules;
    std::vector<uint64_t> denseMasks;
    std::vector<int32_t> killRules;
    // Per-record scratch: the rules still alive, and per item the record
    // (epoch) its outcome was last found for, times two, plus the outcome.
    std::vector<uint64_t> alive;
    std::vector<const uint64_t*> rows;  // the record's row of each covered variable
    std::vector<uint32_t> stamp;
    uint32_t epoch = 0;
    Dag dags[2];  // [all fired, first hit]
  };

  class Builder;
  class DagBuilder;

  // Removes from `alive` (from word `from` on) every rule that requires `item`.
  static void Kill(const ModelPlan& plan, const Item& item, int32_t from, uint64_t* alive);
  // Builds the region masks of the variables whose tables fit the budget,
  // and moves the items they stand for behind the ones the walk tests.
  void CoverVariables(ModelPlan& plan) const;
  // Collects into `fired` every rule that fires, or, with null, finds the
  // first one and returns its position (-1 for none).
  int32_t WalkLazily(ModelPlan& plan, const double* values, std::vector<int32_t>* fired);
  // The leaf a record reaches in `dag`.
  int32_t WalkDag(const ModelPlan& plan, const Dag& dag, const double* values) const;
  // The outcome of diagram node `node` for the record, decided in full.
  bool Decide(const ModelPlan& plan, const DagNode& node, const double* values) const;
  // The model's plan when it can fire anything, else null.
  ModelPlan* PlanOf(int m);

  bool Test(const ModelPlan& plan, const Item& item, const double* values) const;

  std::vector<std::unique_ptr<ModelPlan>> models;  // null for a model without rules
  std::vector<bool> isString;
  Walk walk = Walk::kBest;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_SCORINGPLAN_H_
