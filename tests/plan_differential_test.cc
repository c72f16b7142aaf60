// Finding and scoring the fired rules against independent references:
// - compiled rule sets, random ones (every operator code, odd ones included,
//   fixed results, nested compounds, constant members, paired and unpaired
//   variable lists, conditions shared across rules, missing values, NaN) and
//   ones cut from random decision trees, over random encoded records: every
//   walk of the plan must fire what an evaluator written here from the
//   rule-firing rules fires, sharing no code with the model;
// - whole documents drawn by one generator from a table of shapes (criterion,
//   semantics, predicate form, size, missing rate): the plan, the batch entry
//   and a pool of models on two threads must give, record by record, what
//   the model's rule-by-rule walk gives;
// - large rule sets cut from wide trees (thousands of split values): the
//   decision diagram is still built for them, and every walk fires what a
//   conjunction evaluator written here fires.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/BatchScoreColumns.h"
#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/ErrorCodes.h"
#include "host/ModelPool.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"
#include "scoring/DecisionDiagram.h"
#include "scoring/ModelPlan.h"
#include "scoring/RuleSetResult.h"
#include "scoring/ScoringPlan.h"
#include "tests/support/AllocationCount.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using Condition = RuleSetModel::ST_SIM_Condition;
using Compound = RuleSetModel::ST_COMP_Condition;
using Rule = RuleSetModel::ST_Rule;
using RuleSet = RuleSetModel::ST_RuleSet;
using testing_support::Scored;
using testing_support::ScoreWith;

const double kSysmis = NumericValue::GetSysmisValue();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Compiled members no translated document holds (operators the scoring does
// not know, members with no flag, fixed results, surrogates over nested
// compounds, NaN): each walk of the plan fires what the rule-firing rules say.
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
      // NaN (a text no category names) and missing values are cells of the
      // random documents below.
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RuleSet set;
    set.rules = {c.rule};
    for (ScoringPlan::Walk walk :
         {ScoringPlan::Walk::kBest, ScoringPlan::Walk::kDiagram, ScoringPlan::Walk::kLazy}) {
      ScoringPlan plan({&set}, {1}, std::vector<bool>(c.record.size(), false));
      plan.SetWalk(walk);
      std::vector<int32_t> fired;
      plan.FiredRules(0, c.record.data(), true, fired);
      EXPECT_EQ(fired, c.fires ? std::vector<int32_t>{0} : std::vector<int32_t>{})
          << "walk " << static_cast<int>(walk);
    }
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
    EXPECT_EQ(plan.ItemCount(m), 0) << "model " << m;
  }
  std::vector<int32_t> fired = {7};
  plan.FiredRules(3, values, false, fired);
  EXPECT_EQ(fired, std::vector<int32_t>({0}));
}

// ---------------------------------------------------------------------------
// Whole documents. The target y has the categories c0, c1 and c2; x0 and x1
// are numbers (x1 declares -1 missing), s0 a string with declared values and
// "NA" missing, s1 a string whose texts come from the rules only. Derived
// forms add d1 = x0 * x1 - 1, d2 (x0 scaled), d3 (x0 binned: neg, low,
// high, and none when missing) and d5 (s0 is a or b).

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

struct DocShape {
  const char* name;
  const char* semantics;
  const char* criterion;  // "any": each rule set draws its own
  enum Form { kX0, kFlat, kCompound, kTree, kDerived } form;
  int sets;      // RuleSetModel elements; 0: one or three, drawn
  int size;      // rules per set drawn from 1..size; the depth of a tree
  int missing;   // percent of cells missing
  bool extras;   // outputs, costs, a decision list (and under pmml mining
                 // treatments and an Interval), each drawn
  bool pool;     // also scored by a pool of two models, two callers at once
  int documents;
  int rows;
};

const char* const kCriteria[] = {"firstHit", "weightedSum", "weightedMax"};
const char* const kCompare[] = {"equal",       "notEqual",       "lessThan",  "lessOrEqual",
                                "greaterThan", "greaterOrEqual", "isMissing", "isNotMissing"};
const char* const kValues[] = {"-1", "0", "0.5", "1", "2.5", "3"};
const double kRowNumbers[] = {-1.0, 0.0, 0.5, 1.0, 2.5, 3.0};
// Texts of s0's predicates (its declared values) and of s1's (any).
const char* const kTexts[] = {"a", "b", "c", "d", "1", "2"};

// A part of the documents from tests/data/models/random_<name>.xml: the
// dictionary (x0 with an Interval in place of $INTERVAL or none), the
// derived fields, output fields of every kind the batch carries (a hidden
// one, expressions over a record field and the fields before them), a cost
// table.
std::string Part(const std::string& name) {
  return testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/random_" + name + ".xml");
}

class DocumentMaker {
 public:
  DocumentMaker(const DocShape& shape, uint32_t seed) : shape_(shape), g_(seed) {}

  std::string Make() {
    std::ostringstream out;
    const bool pmml = std::string(shape_.semantics) == "pmml";
    const bool interval = pmml && shape_.extras && g_.Chance(50);
    // x0 declaring -1 missing is read through the general encoding, in a
    // number column too.
    const bool declared = g_.Chance(50);
    std::string dictionary = Part("dictionary");
    dictionary.replace(dictionary.find("$INTERVAL"), 9,
                       std::string(declared ? R"(<Value value="-1" property="missing"/>)" : "") +
                           (interval ? R"(<Interval closure="closedOpen" leftMargin="0" rightMargin="3"/>)" : ""));
    out << dictionary;
    if (shape_.form == DocShape::kDerived) out << Part("derived");
    const int sets = shape_.sets > 0 ? shape_.sets : g_.Chance(66) ? 1 : 3;
    const bool decisionList = shape_.extras && sets > 1 && g_.Chance(30);
    for (int m = 0; m < sets; ++m) {
      out << "<RuleSetModel functionName=\"classification\""
          << (decisionList && m == 0 ? " algorithmName=\"DecisionList\"" : "")
          << "><MiningSchema><MiningField name=\"y\" usageType=\"predicted\"/>";
      for (const char* field : {"x0", "x1", "s0", "s1"}) {
        out << "<MiningField name=\"" << field << "\"";
        if (pmml && shape_.extras) Treatments(out, field[0] == 's');
        out << "/>";
      }
      out << "</MiningSchema>\n";
      if (m == 0 && shape_.extras && g_.Chance(50)) out << Part("output");
      if (m == 0 && shape_.extras && g_.Chance(30)) out << Part("costs");
      const std::string criterion =
          std::string(shape_.criterion) == "any" ? kCriteria[g_.Below(3)] : shape_.criterion;
      out << "<RuleSet defaultScore=\"c" << g_.Below(3) << "\" defaultConfidence=\"0."
          << 1 + g_.Below(9) << "\"><RuleSelectionMethod criterion=\"" << criterion << "\"/>\n";
      rule_ = 0;
      prefix_ = "R" + std::to_string(m) + "_";
      if (shape_.form == DocShape::kTree) {
        std::vector<std::string> path;
        int low[2] = {-1, -1};
        int high[2] = {6, 6};
        Tree(out, 1 + g_.Below(shape_.size), path, low, high, false);
      } else {
        const int rules = 1 + g_.Below(shape_.size);
        for (int r = 0; r < rules; ++r) RuleOf(out, Predicate(0));
      }
      out << "</RuleSet></RuleSetModel>\n";
    }
    out << "</PMML>\n";
    return out.str();
  }

 private:
  void RuleOf(std::ostringstream& out, const std::string& predicate) {
    out << "<SimpleRule id=\"" << prefix_ << rule_++ << "\" score=\"c" << g_.Below(3)
        << "\" weight=\"" << g_.Below(5) << ".5\" confidence=\"0." << g_.Below(10) << "\">"
        << predicate << "</SimpleRule>\n";
  }

  // Random MiningField treatments of a field (`text`: a string field).
  void Treatments(std::ostringstream& out, bool text) {
    static const char* const kInvalid[] = {"returnInvalid", "asIs", "asMissing", "asValue"};
    const int invalid = g_.Below(5);
    if (invalid < 4) out << " invalidValueTreatment=\"" << kInvalid[invalid] << "\"";
    if (invalid == 3) out << " invalidValueReplacement=\"" << (text ? "b" : "1") << "\"";
    if (g_.Chance(50)) out << " missingValueReplacement=\"" << (text ? "c" : "0.5") << "\"";
    if (!text && g_.Chance(50)) {
      out << " outliers=\"" << (g_.Chance(50) ? "asMissingValues" : "asExtremeValues")
          << "\" lowValue=\"0\" highValue=\"2\"";
    }
  }

  // The fields the form reads.
  std::vector<std::string> Fields() const {
    if (shape_.form == DocShape::kX0) return {"x0"};
    if (shape_.form == DocShape::kDerived) return {"x0", "x1", "s0", "s1", "d1", "d2", "d3", "d5"};
    return {"x0", "x1", "s0", "s1"};
  }

  // A simple predicate on `field`, or now and then on a text field a set
  // predicate.
  std::string Simple(const std::string& field) {
    const bool number = field[0] == 'x' || field == "d1" || field == "d2";
    if ((field == "s0" || field == "s1") && g_.Chance(30)) {
      const int range = field == "s0" ? 3 : 6;
      return "<SimpleSetPredicate field=\"" + field + "\" booleanOperator=\"" +
             (g_.Chance(50) ? "isIn" : "isNotIn") + "\"><Array n=\"2\" type=\"string\">" +
             kTexts[g_.Below(range)] + " " + kTexts[g_.Below(range)] + "</Array></SimpleSetPredicate>";
    }
    std::string op = kCompare[g_.Below(number ? 8 : 2)];
    if (!number && g_.Chance(20)) op = kCompare[6 + g_.Below(2)];
    std::string text = "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\"";
    if (op.find("Missing") != std::string::npos) return text + "/>";
    std::string value = kValues[g_.Below(6)];
    if (field == "s0") value = kTexts[g_.Below(3)];
    if (field == "s1") value = kTexts[g_.Below(6)];
    if (field == "d3") value = g_.Pick(std::vector<std::string>{"neg", "low", "high", "none", "zz"});
    if (field == "d5") value = g_.Chance(50) ? "true" : "false";
    return text + " value=\"" + value + "\"/>";
  }

  // True, a simple or set predicate, or a compound whose members read
  // distinct fields: two or three simple ones in the flat forms, nested up
  // to three deep (surrogates too) in the compound form.
  std::string Predicate(int depth) {
    if (depth == 0) unused_ = Fields();
    const int kind = g_.Below(10);
    if (depth == 0 && kind == 0) return "<True/>";
    const bool nested = shape_.form == DocShape::kCompound;
    if (kind <= 6 || unused_.size() < 2 || depth >= (nested ? 3 : 1)) return Simple(Take());
    static const char* const kOps[] = {"and", "or", "xor", "surrogate"};
    std::string text =
        std::string("<CompoundPredicate booleanOperator=\"") + kOps[g_.Below(nested ? 4 : 3)] + "\">";
    const int members = 2 + g_.Below(2);
    for (int k = 0; k < members && !unused_.empty(); ++k) {
      // A nested compound comes last, so that this one keeps two members.
      const bool last = k > 0 && (k == members - 1 || unused_.size() == 2);
      text += nested && last && unused_.size() >= 2 && g_.Chance(40) ? Predicate(depth + 1) : Simple(Take());
    }
    return text + "</CompoundPredicate>";
  }

  // A field no other predicate of the rule reads (the translator refuses a
  // field read twice under one rule in some ways).
  std::string Take() {
    const size_t k = static_cast<size_t>(g_.Below(static_cast<int>(unused_.size())));
    const std::string field = unused_[k];
    unused_.erase(unused_.begin() + static_cast<long>(k));
    return field;
  }

  // A random binary tree over x0, x1 and s0, one rule per leaf in order,
  // each the conjunction of its path. A number field is split inside what
  // the path leaves of it (`low` and `high` index kValues), s0 once a path,
  // so that no path is empty.
  void Tree(std::ostringstream& out, int depth, std::vector<std::string>& path, int low[2],
            int high[2], bool s0Split) {
    const int kind = g_.Below(4);
    const int f = kind == 2 ? 1 : 0;
    const bool possible = kind == 3 ? !s0Split : high[f] - low[f] >= 2;
    if (depth == 0 || !possible || (path.size() > 1 && g_.Chance(15))) {
      if (path.empty()) return RuleOf(out, "<True/>");
      if (path.size() == 1) return RuleOf(out, path[0]);
      std::string all = "<CompoundPredicate booleanOperator=\"and\">";
      for (const std::string& p : path) all += p;
      return RuleOf(out, all + "</CompoundPredicate>");
    }
    std::string sides[2];
    if (kind < 3) {
      const int t = low[f] + 1 + g_.Below(high[f] - low[f] - 1);
      const std::string head = std::string("<SimplePredicate field=\"x") + (f == 0 ? "0" : "1") + "\" operator=\"";
      const std::string tail = std::string("\" value=\"") + kValues[t] + "\"/>";
      const bool closedLeft = g_.Chance(70);
      sides[0] = head + (closedLeft ? "lessOrEqual" : "lessThan") + tail;
      sides[1] = head + (closedLeft ? "greaterThan" : "greaterOrEqual") + tail;
      const int keptHigh = high[f];
      high[f] = t;
      path.push_back(sides[0]);
      Tree(out, depth - 1, path, low, high, s0Split);
      path.back() = sides[1];
      high[f] = keptHigh;
      const int keptLow = low[f];
      low[f] = t;
      Tree(out, depth - 1, path, low, high, s0Split);
      low[f] = keptLow;
      path.pop_back();
      return;
    }
    const std::string array = std::string("\"><Array n=\"1\" type=\"string\">") + kTexts[g_.Below(3)] +
                              "</Array></SimpleSetPredicate>";
    for (const char* op : {"isIn", "isNotIn"}) {
      path.push_back(std::string("<SimpleSetPredicate field=\"s0\" booleanOperator=\"") + op + array);
      Tree(out, depth - 1, path, low, high, true);
      path.pop_back();
    }
  }

  const DocShape& shape_;
  Gen g_;
  int rule_ = 0;
  std::string prefix_;
  std::vector<std::string> unused_;
};

// Random rows as batch columns hold them: x0 numbers with a missing mask
// and NaN, x1 texts (numbers, a declared missing one, one that is no
// number), s0 texts as codes with negative codes for missing, s1 numbers.
struct Rows {
  Rows(size_t n, int missing, uint32_t seed)
      : x0(n), x0Missing(n), x1(n), s0(n), s1(n), x0Masked(missing > 0) {
    Gen g(seed);
    for (size_t r = 0; r < n; ++r) {
      const int a = g.Below(7);
      x0[r] = a < 6 ? kRowNumbers[a] : kNaN;
      x0Missing[r] = g.Chance(missing) ? 1 : 0;
      x1[r] = g.Chance(missing) ? -1 : g.Below(static_cast<int>(x1Texts.size()));
      s0[r] = g.Chance(missing) ? -1 : g.Below(static_cast<int>(s0Texts.size()));
      s1[r] = static_cast<double>(g.Below(3));
    }
  }
  void AddTo(ColumnBatch& batch) const {
    batch.AddCodes("s0", s0.data(), s0Texts);
    batch.AddNumbers("x0", x0.data(), x0Masked ? x0Missing.data() : nullptr);
    batch.AddNumbers("unused", x0.data());
    batch.AddCodes("x1", x1.data(), x1Texts);
    batch.AddNumbers("s1", s1.data());
  }
  // The same row as the tool puts it in a record; false when the batch
  // refuses the row: natively, a text in x1 that is no number, when the
  // rules read x1.
  bool Fill(size_t r, ScoreCaseRecord& record, bool readsX1, bool pmml) const {
    record.Clear();
    if (x0Missing[r] != 0) {
      record.SetMissing(0);
    } else {
      record.SetNumber(0, x0[r]);
    }
    bool refused = false;
    if (x1[r] >= 0) {
      const std::string& text = x1Texts[static_cast<size_t>(x1[r])];
      double value = 0.0;
      if (NumberText::ParseDouble(text, &value)) {
        record.SetNumber(1, value);
      } else {
        record.SetText(1, text);
        refused = !pmml && readsX1;
      }
    }
    if (s0[r] >= 0) record.SetText(2, s0Texts[static_cast<size_t>(s0[r])]);
    record.SetNumber(3, s1[r]);
    return !refused;
  }

  std::vector<double> x0;
  std::vector<uint8_t> x0Missing;
  std::vector<int32_t> x1;
  std::vector<int32_t> s0;
  std::vector<double> s1;
  bool x0Masked;  // without missing cells x0 goes without a mask (NaN is then a number)
  std::vector<std::string> x1Texts{"0.5", "2.5", "-1", "oops", "3"};
  std::vector<std::string> s0Texts{"a", "b", "c", "d", "NA", "1"};
};

bool SameDouble(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

::testing::AssertionResult SameScore(const Scored& a, const Scored& b) {
  if (a.code == b.code && a.hasPrediction == b.hasPrediction && a.prediction == b.prediction &&
      SameDouble(a.confidence, b.confidence) && a.fired == b.fired && a.winning == b.winning) {
    return ::testing::AssertionSuccess();
  }
  auto shown = [](const Scored& s) {
    return "code " + std::to_string(s.code) + (s.hasPrediction ? " " + s.prediction : " none") +
           " " + std::to_string(s.confidence) + " (" + std::to_string(s.fired.size()) +
           " fired, winning " + s.winning + ")";
  };
  return ::testing::AssertionFailure() << "plan " << shown(a) << ", walk " << shown(b);
}

// Result columns whose predictions start as -7, so that a row the entry
// leaves unwritten shows.
struct Output : BatchScoreColumns {
  Output(size_t n, size_t fields) : BatchScoreColumns(n, 0) {
    prediction.assign(n, -7);
    outputs.resize(n * fields);
  }
};

// Row r of a batch against what the walk gave for the row's record.
// What the indices of a batch stand for.
struct Names {
  explicit Names(const ScoreModel& model)
      : categories(model.GetBatchCategories()), ids(model.GetBatchRuleIds()) {}
  std::vector<const ScoreValue*> categories;
  std::vector<std::string> ids;
};

void ExpectRowAsWalk(const Names& names, const Output& out, size_t r, size_t& next, bool refused,
                     long code, const RuleSetResult* walked) {
  const std::vector<const ScoreValue*>& categories = names.categories;
  const std::vector<std::string>& ids = names.ids;
  const int32_t count = out.firedCount[r];
  ASSERT_GE(count, 0);
  std::vector<std::string> fired;
  for (int32_t k = 0; k < count; ++k) fired.push_back(ids.at(static_cast<size_t>(out.fired.at(next++))));
  if (refused || code != 0) {
    // A refused row, or an invalid value under returnInvalid: the row is
    // kept, unscored, and names the column the record's error names.
    static const char* const kColumns[] = {"s0", "x0", "unused", "x1", "s1"};
    EXPECT_EQ(out.status[r], refused ? BatchScores::kNotANumber : BatchScores::kInvalidValue);
    ASSERT_GE(out.errorColumn[r], 0);
    ASSERT_LT(out.errorColumn[r], 5);
    if (refused) {
      EXPECT_EQ(out.errorColumn[r], 3);
    } else {
      EXPECT_EQ(code, ErrorCode::kInvalidInput);
      EXPECT_EQ(walked->GetErrorText().rfind(std::string("Field ") + kColumns[out.errorColumn[r]] + ":", 0), 0u)
          << walked->GetErrorText();
    }
    EXPECT_EQ(out.prediction[r], -1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(out.winningRule[r], -1);
    return;
  }
  ASSERT_EQ(out.status[r], BatchScores::kScored);
  EXPECT_EQ(out.errorColumn[r], -1);
  if (walked->GetPrediction() == nullptr) {
    EXPECT_EQ(out.prediction[r], -1);
  } else {
    ASSERT_GE(out.prediction[r], 0);
    EXPECT_EQ(categories.at(static_cast<size_t>(out.prediction[r]))->GetString(),
              walked->GetPrediction()->GetString());
  }
  EXPECT_TRUE(SameDouble(out.confidence[r], walked->GetConfidence()))
      << out.confidence[r] << " vs " << walked->GetConfidence();
  EXPECT_EQ(fired, walked->GetFiredRuleIds());
  const int32_t winning = out.winningRule[r];
  EXPECT_EQ(winning < 0 ? std::string() : ids.at(static_cast<size_t>(winning)), walked->GetWinningRuleId());
  const std::vector<RuleSetResult::OutputValue>& values = walked->GetOutputValues();
  if (out.outputs.empty()) return;
  ASSERT_EQ(out.outputs.size(), out.prediction.size() * values.size());
  for (size_t f = 0; f < values.size(); ++f) {
    const BatchScores::OutputValue& got = out.outputs[r * values.size() + f];
    EXPECT_EQ(static_cast<int>(got.kind), static_cast<int>(values[f].kind)) << "output " << f;
    if (got.kind == BatchScores::OutputValue::kNumber) {
      EXPECT_TRUE(SameDouble(got.number, values[f].number));
    } else if (got.kind == BatchScores::OutputValue::kText) {
      EXPECT_EQ(got.text, values[f].text);
    }
  }
}

// Every walk of a plan over a model's compiled rules, fed each record as the
// model encoded it: the walks fire alike rule set by rule set, both for all
// fired rules and for the first, record by record and over all records at
// once; once warm they allocate nothing; and what each rule set reports
// (its first rule under firstHit, else all) is what the model reported.
struct PlanWalks {
  static constexpr ScoringPlan::Walk kWalks[] = {ScoringPlan::Walk::kBest, ScoringPlan::Walk::kDiagram,
                                                 ScoringPlan::Walk::kLazy};
  std::vector<std::unique_ptr<ScoringPlan>> plans;
  std::vector<double> encoded;  // the records side by side, a spare cell after each
  size_t width = 0;
  std::vector<std::vector<int32_t>> first;  // [rule set][record]
  std::vector<int32_t> fired[3];
  long allocations = 0;

  // `reported`: what the model reported as fired, when its plan decided.
  void Row(const RuleSetModel& scored, const std::vector<std::string>* reported) {
    const std::vector<RuleSetModel::ST_RuleSet*>& sets = scored.GetCompiledRuleSets();
    const std::vector<double>& values = scored.GetPredVarValues();
    if (plans.empty()) {
      width = values.size() + 1;
      first.resize(sets.size());
      for (ScoringPlan::Walk walk : kWalks) {
        plans.emplace_back(new ScoringPlan(sets, scored.GetRuleCount(), scored.GetPredVarIsString()));
        plans.back()->SetWalk(walk);
        for (size_t m = 0; m < sets.size(); ++m) {
          for (bool firstOnly : {true, false}) plans.back()->FiredRules(static_cast<int>(m), values.data(), firstOnly, fired[0]);
        }
      }
      for (std::vector<int32_t>& list : fired) list.reserve(4096);
    }
    encoded.insert(encoded.end(), values.begin(), values.end());
    encoded.push_back(kNaN);
    std::vector<std::string> ids;
    for (size_t m = 0; m < sets.size(); ++m) {
      const bool firstHit = scored.GetRuleSelectionMethodUsed().at(m) == RuleSetModel::firstHit;
      for (bool firstOnly : {true, false}) {
        allocations += testing_support::AllocationsIn([&] {
          for (size_t k = 0; k < 3; ++k) plans[k]->FiredRules(static_cast<int>(m), values.data(), firstOnly, fired[k]);
        });
        EXPECT_EQ(fired[1], fired[0]) << "folded diagram, rule set " << m;
        EXPECT_EQ(fired[2], fired[0]) << "lazy walk, rule set " << m;
        if (firstOnly) first[m].push_back(fired[0].empty() ? -1 : fired[0][0]);
        if (firstOnly != firstHit) continue;
        for (int32_t k : fired[0]) ids.push_back(sets[m]->rules.at(static_cast<size_t>(k)).ruleId);
      }
    }
    if (reported != nullptr) {
      EXPECT_EQ(ids, *reported) << "the plan against the model";
    }
  }

  void ExpectBlocksAlike() {
    if (plans.empty()) return;
    const size_t count = encoded.size() / width;
    std::vector<int32_t> got(count);
    for (size_t m = 0; m < first.size(); ++m) {
      for (size_t k = 0; k < 3; ++k) {
        plans[k]->FirstFiredRules(static_cast<int>(m), encoded.data(), width, count, got.data());
        EXPECT_EQ(got, first[m]) << "records at once, walk " << k << ", rule set " << m;
      }
    }
  }
};

using S = DocShape;
// name, semantics, criterion, form, sets, size, missing %, extras, pool,
// documents, rows
const DocShape kShapes[] = {
    {"first hit, flat, native", "native", "firstHit", S::kFlat, 1, 12, 10, false, false, 20, 200},
    {"weighted sum, compound, native", "native", "weightedSum", S::kCompound, 1, 25, 15, false, false, 20, 200},
    {"weighted max, compound, pmml", "pmml", "weightedMax", S::kCompound, 1, 25, 25, false, false, 20, 200},
    {"vote of three, mixed criteria", "native", "any", S::kFlat, 3, 12, 10, true, false, 25, 200},
    {"extras under pmml", "pmml", "any", S::kFlat, 0, 12, 15, true, false, 40, 200},
    {"first hit over x0 alone, pmml", "pmml", "firstHit", S::kX0, 1, 12, 20, true, false, 15, 300},
    {"first hit over x0 alone, pmml, no mask", "pmml", "firstHit", S::kX0, 1, 12, 0, true, false, 15, 300},
    // With output fields the batch reads through a record; x1's texts that
    // are no number stop no row when nothing reads x1.
    {"first hit over x0 alone, outputs", "native", "firstHit", S::kX0, 1, 12, 20, true, false, 10, 150},
    {"decision trees, first hit", "native", "firstHit", S::kTree, 1, 6, 10, false, false, 20, 200},
    {"decision trees, all fired, pmml", "pmml", "weightedSum", S::kTree, 1, 5, 30, false, false, 15, 200},
    {"many rules beyond a word of bits", "native", "any", S::kCompound, 0, 100, 10, false, false, 10, 150},
    {"derived fields", "native", "any", S::kDerived, 0, 12, 15, true, false, 30, 150},
    {"derived fields, pmml", "pmml", "any", S::kDerived, 1, 12, 15, false, false, 15, 150},
    {"pool of two, two callers", "native", "any", S::kFlat, 0, 12, 10, true, true, 2,
     3 * ModelPool::kMinRowsPerThread},
    {"pool of two, pmml", "pmml", "any", S::kCompound, 1, 12, 10, true, true, 1,
     3 * ModelPool::kMinRowsPerThread},
};

void PrintTo(const DocShape& shape, std::ostream* out) { *out << shape.name; }

class Documents : public ::testing::TestWithParam<DocShape> {};

TEST_P(Documents, ScoreAsTheRuleByRuleWalk) {
  const DocShape& shape = GetParam();
  const bool pmml = std::string(shape.semantics) == "pmml";
  int scored = 0;
  int withFired = 0;
  int refusals = 0;
  std::string refused;
  for (int d = 0; d < shape.documents; ++d) {
    const uint32_t seed = static_cast<uint32_t>(d * 7919 + shape.size);
    const std::string pmmlText = DocumentMaker(shape, seed).Make();
    SCOPED_TRACE(pmmlText);
    const testing_support::TranslationFailure failure =
        testing_support::TranslationFailureOf(pmmlText, "random.pmml", shape.semantics);
    if (failure.code != 0) {
      refused += " " + std::to_string(failure.code);
      ++refusals;  // e.g. two equalities on one field under an and
      continue;
    }
    auto walked = testing_support::TranslateDocument(pmmlText, "random.pmml", shape.semantics);
    auto planned = testing_support::TranslateDocument(pmmlText, "random.pmml", shape.semantics);
    auto batch = testing_support::TranslateDocument(pmmlText, "random.pmml", shape.semantics);
    walked->model->SetUseReferenceWalk(true);
    const Rows rows(static_cast<size_t>(shape.rows), shape.missing, seed);
    ColumnBatch columns(rows.x0.size());
    rows.AddTo(columns);
    // The batch in three calls over parts of the rows, on one model; a
    // pool on one thread, then on two from two callers at once.
    const size_t n = rows.x0.size();
    const size_t fields = batch->model->GetBatchOutputs().size();
    // Of the outputs shown (tests/data/models/random_output.xml) only the
    // probability is a column of numbers.
    for (const BatchOutputField& column : batch->model->GetBatchOutputs()) {
      EXPECT_EQ(column.numeric, column.name == "o_p1") << column.name;
    }
    std::vector<Output> outs;
    outs.reserve(4);
    outs.emplace_back(n, fields);
    BatchScores scores = outs[0].Scores();
    const size_t cut[] = {0, n / 10, n / 2, n};
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(batch->model->ScoreBatch(columns, cut[k], cut[k + 1], scores), cut[k + 1] - cut[k]);
    }
    std::unique_ptr<ModelPool> pool;
    std::vector<std::unique_ptr<testing_support::TranslatedDocument>> pooled;
    if (shape.pool) {
      std::vector<std::unique_ptr<ScoreModel>> models;
      for (int i = 0; i < 2; ++i) {
        pooled.push_back(testing_support::TranslateDocument(pmmlText, "random.pmml", shape.semantics));
        models.push_back(std::move(pooled.back()->model));
      }
      pool.reset(new ModelPool(std::move(models)));
      for (int k = 0; k < 3; ++k) outs.emplace_back(n, 0);
      BatchScores single = outs[1].Scores();
      EXPECT_TRUE(pool->Score(columns, single, 1));
      std::vector<std::thread> callers;
      for (size_t c = 2; c < 4; ++c) {
        callers.emplace_back([&pool, &columns, &outs, c] {
          BatchScores both = outs[c].Scores();
          EXPECT_TRUE(pool->Score(columns, both, 2));
        });
      }
      for (std::thread& caller : callers) caller.join();
      BatchScores bare = outs[1].Scores();  // the same rows again, without a fired list
      bare.fired = nullptr;
      EXPECT_TRUE(pool->Score(columns, bare, 2));
    }
    const Names batchNames(*batch->model);
    const std::unique_ptr<Names> poolNames(pool ? new Names(pool->GetModel()) : nullptr);
    bool readsX1 = shape.form == DocShape::kDerived;  // d1 reads it
    for (const ScoreDictVar* var : walked->model->GetPredVars()) readsX1 = readsX1 || var->Name() == "x1";
    ScoreCaseRecord record({"x0", "x1", "s0", "s1"});
    ScoreResult* walkedResult = nullptr;
    ScoreResult* plannedResult = nullptr;
    std::vector<size_t> next(outs.size(), 0);
    PlanWalks walks;
    for (size_t r = 0; r < n; ++r) {
      SCOPED_TRACE("row " + std::to_string(r));
      const bool accepted = rows.Fill(r, record, readsX1, pmml);
      const Scored w = ScoreWith(*walked->model, &record, walkedResult);
      EXPECT_TRUE(SameScore(ScoreWith(*planned->model, &record, plannedResult), w));
      if (w.code == 0) walks.Row(*planned->model, pmml ? nullptr : &w.fired);
      const auto* expected = static_cast<const RuleSetResult*>(walkedResult);
      for (size_t o = 0; o < outs.size(); ++o) {
        ExpectRowAsWalk(o == 0 ? batchNames : *poolNames, outs[o], r, next[o], !accepted, w.code, expected);
      }
      ++scored;
      if (!w.fired.empty()) ++withFired;
    }
    for (size_t o = 0; o < outs.size(); ++o) EXPECT_EQ(next[o], outs[o].fired.size());
    walks.ExpectBlocksAlike();
    EXPECT_EQ(walks.allocations, 0);
    delete walkedResult;
    delete plannedResult;
  }
  // The generator must give documents that translate and rows that fire.
  EXPECT_LE(refusals, shape.documents / 4) << "refused:" << refused;
  EXPECT_GT(withFired, scored / 4);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Documents, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<DocShape>& shape) {
                           std::string name;
                           for (const char* c = shape.param.name; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });


// ---------------------------------------------------------------------------
// Large rule sets cut from trees whose splits name thousands of distinct
// values of a few variables, as trained trees do: the decision diagram must
// still be built for them (not left to the lazy walk), and every walk must
// fire what each rule's conjunction says, records on split values, next to
// them, missing, NaN and infinite included.

// A complete tree of `depth` levels, or with `chain` one whose left side is
// a leaf at every split: each split picks a variable and a value inside
// what the path leaves of it (now and then outside, a branch no record
// reaches), and one of the first `pairs` operator pairs.
void WideTreePaths(Gen& g, int vars, int pairs, bool chain, int depth, std::vector<double>& lo,
                   std::vector<double>& hi, Rule& path, std::vector<Rule>& out,
                   std::vector<std::vector<double>>& values) {
  if (depth == 0) {
    Rule leaf = path;
    leaf.ruleId = "leaf" + std::to_string(out.size());
    out.push_back(leaf);
    return;
  }
  const int32_t var = g.Below(vars);
  const size_t v = static_cast<size_t>(var);
  // <= and >, < and >=, isMissing and isNotMissing, == and !=.
  static const int32_t kPairs[][2] = {{3, 4}, {2, 5}, {6, 7}, {0, 1}};
  const int32_t* pair = kPairs[g.Below(pairs)];
  const double span = hi[v] - lo[v];
  double value = lo[v] + span * (g.Chance(95) ? (1 + g.Below(999)) / 1000.0 : 1.5);
  if (pair[0] == 6) value = kSysmis;
  values[v].push_back(value);
  const double saved[2] = {lo[v], hi[v]};
  for (int side = 0; side < 2; ++side) {
    Condition c;
    c.isSimple = true;
    c.simpleOperator = pair[side];
    c.value = value;
    if (pair[0] <= 3 && pair[0] >= 2) (side == 0 ? hi[v] : lo[v]) = value;
    path.conditions.push_back(c);
    path.varIndices.push_back(var);
    WideTreePaths(g, vars, pairs, chain, chain && side == 0 ? 0 : depth - 1, lo, hi, path, out, values);
    path.conditions.pop_back();
    path.varIndices.pop_back();
    lo[v] = saved[0];
    hi[v] = saved[1];
  }
}

// The rules of `rules` whose simple conditions on numbers all hold for
// `values`, in order (only the first with `firstOnly`). Orderings are
// false on the missing value below it (less, at most) and compare it as
// the number it is above; equality compares the numbers, NaN included.
std::vector<int32_t> ConjunctionsFired(const std::vector<Rule>& rules, const std::vector<double>& values,
                                       bool firstOnly) {
  std::vector<int32_t> fired;
  for (size_t r = 0; r < rules.size(); ++r) {
    bool holds = true;
    for (size_t i = 0; i < rules[r].conditions.size() && holds; ++i) {
      const double x = values[static_cast<size_t>(rules[r].varIndices[i])];
      const double v = rules[r].conditions[i].value;
      const bool missing = NumericValue::IsSystemMissingValue(x);
      switch (rules[r].conditions[i].simpleOperator) {
        case 0: holds = x == v; break;
        case 1: holds = !(x == v); break;
        case 2: holds = x < v && !missing; break;
        case 3: holds = x <= v && !missing; break;
        case 4: holds = x > v; break;
        case 5: holds = x >= v; break;
        case 6: holds = missing; break;
        default: holds = !missing; break;
      }
    }
    if (!holds) continue;
    fired.push_back(static_cast<int32_t>(r));
    if (firstOnly) break;
  }
  return fired;
}

TEST(ScoringPlan, LargeTreeRuleSetsBuildTheirDiagramAndFireAsTheirConjunctions) {
  const struct {
    int depth;
    int vars;
    int pairs;  // operator pairs in use, of <=/>, </>=, missing tests, ==/!=
    bool chain;
    uint32_t seed;
  } rows[] = {
      {12, 1, 1, false, 11},  // one variable: 4,095 thresholds on it
      {12, 3, 2, false, 12},
      {13, 4, 4, false, 13},  // 8,192 rules, missing tests and equalities mixed in
      {14, 3, 4, false, 15},  // unfolded in bands of three under one of two
      {10, 300, 2, false, 16},  // more variables than a byte numbers: the wide blocks
      {300, 2, 2, true, 14},  // deeper than any unfolded tree
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("depth " + std::to_string(row.depth) + ", seed " + std::to_string(row.seed));
    Gen g(row.seed);
    const std::vector<bool> isString(static_cast<size_t>(row.vars), false);
    RuleSet set;
    std::vector<double> lo(static_cast<size_t>(row.vars), -100.0);
    std::vector<double> hi(static_cast<size_t>(row.vars), 100.0);
    std::vector<std::vector<double>> values(static_cast<size_t>(row.vars));
    Rule path;
    WideTreePaths(g, row.vars, row.pairs, row.chain, row.depth, lo, hi, path, set.rules, values);
    const int32_t count = static_cast<int32_t>(set.rules.size());
    const ModelPlan modelPlan(set.rules, count, isString);
    for (bool firstOnly : {true, false}) {
      DecisionDiagram dag;
      dag.Build(modelPlan, firstOnly, true);
      EXPECT_TRUE(dag.usable()) << (firstOnly ? "first hit" : "all fired");
    }
    const ScoringPlan::Walk walks[] = {ScoringPlan::Walk::kBest, ScoringPlan::Walk::kDiagram,
                                       ScoringPlan::Walk::kLazy};
    std::vector<std::unique_ptr<ScoringPlan>> plans;
    for (ScoringPlan::Walk walk : walks) {
      plans.emplace_back(new ScoringPlan({&set}, {count}, isString));
      plans.back()->SetWalk(walk);
    }
    // A plan whose first-hit walk hands back a value per rule: each rule's
    // own, where the walk has it at hand.
    ScoringPlan valued({&set}, {count}, isString);
    std::vector<LeafValue> ruleValues(static_cast<size_t>(count));
    for (int32_t r = 0; r < count; ++r) {
      ruleValues[static_cast<size_t>(r)].tag = 3 * r + 1;
      ruleValues[static_cast<size_t>(r)].value = 0.5 * r - 7.25;
    }
    valued.AttachFirstHitValues(0, ruleValues);
    size_t attachedCount = 0;
    const std::vector<double> odd = {kSysmis, kNaN, kInf, -kInf};
    const size_t records = 120;
    std::vector<double> batch;
    std::vector<int32_t> first;
    std::vector<int32_t> fired;
    for (size_t i = 0; i < records; ++i) {
      std::vector<double> record;
      for (const std::vector<double>& named : values) {
        const double on = named.empty() ? 0.0 : g.Pick(named);
        const int kind = g.Below(10);
        record.push_back(kind < 4   ? on
                         : kind < 6 ? std::nextafter(on, g.Chance(50) ? kInf : -kInf)
                         : kind < 7 ? g.Pick(odd)
                                    : -100.0 + g.Below(200001) / 1000.0);
      }
      batch.insert(batch.end(), record.begin(), record.end());
      for (bool firstOnly : {true, false}) {
        const std::vector<int32_t> expected = ConjunctionsFired(set.rules, record, firstOnly);
        if (firstOnly) {
          first.push_back(expected.empty() ? -1 : expected[0]);
          LeafValue value;
          value.tag = -99;
          bool attached = true;
          const int32_t rule = valued.FirstFiredRule(0, record.data(), &value, &attached);
          ASSERT_EQ(rule, first.back()) << "record " << i << ", with values";
          if (attached) {
            ++attachedCount;
            ASSERT_GE(rule, 0) << "record " << i;
            EXPECT_EQ(value.tag, 3 * rule + 1) << "record " << i;
            EXPECT_EQ(value.value, 0.5 * rule - 7.25) << "record " << i;
          } else {
            EXPECT_EQ(value.tag, -99) << "record " << i;
          }
        }
        for (size_t k = 0; k < plans.size(); ++k) {
          plans[k]->FiredRules(0, record.data(), firstOnly, fired);
          ASSERT_EQ(fired, expected) << "record " << i << (firstOnly ? ", first hit" : ", all fired")
                                     << ", walk " << k;
        }
      }
    }
    // Ordinary records that end on a leaf of the unfolded tree have it (with
    // comparisons alone most do; equalities and missing tests are decided
    // in the diagram).
    if (row.pairs <= 2) {
      EXPECT_GT(attachedCount, records / 4);
    }
    std::vector<int32_t> got(records);
    for (size_t k = 0; k < plans.size(); ++k) {
      plans[k]->FirstFiredRules(0, batch.data(), values.size(), records, got.data());
      EXPECT_EQ(got, first) << "records at once, walk " << k;
      EXPECT_EQ(plans[k]->ItemCount(0), static_cast<int>(modelPlan.items.size())) << "walk " << k;
    }
    valued.FirstFiredRules(0, batch.data(), values.size(), records, got.data());
    EXPECT_EQ(got, first) << "records at once, with values";
  }
}


// Rules x > n, x > n - 1, ..., x > 1 in that order make a first-hit
// diagram of one path of n tests. Past the depth its build may recurse to,
// the diagram is given up and the lazy walk finds the same rule.
TEST(ScoringPlan, DiagramsDeeperThanTheRecursionBoundAreLeftToTheLazyWalk) {
  for (const int n : {390, 410}) {
    SCOPED_TRACE(n);
    RuleSet set;
    for (int i = 0; i < n; ++i) {
      Rule rule;
      Condition c;
      c.isSimple = true;
      c.simpleOperator = SimplePredicate::kGreaterThan;
      c.value = n - i;
      rule.conditions.push_back(c);
      rule.varIndices.push_back(0);
      rule.ruleId = "r" + std::to_string(i);
      set.rules.push_back(rule);
    }
    const std::vector<bool> isString{false};
    const ModelPlan modelPlan(set.rules, n, isString);
    DecisionDiagram dag;
    dag.Build(modelPlan, true, true);
    EXPECT_EQ(dag.usable(), n < 400);
    ScoringPlan plan({&set}, {n}, isString);
    for (const double x : {0.5, 2.5, n + 1.0}) {
      std::vector<int32_t> fired;
      plan.FiredRules(0, &x, true, fired);
      EXPECT_EQ(fired, ConjunctionsFired(set.rules, {x}, true)) << x;
    }
  }
}
}  // namespace
}  // namespace KtZembra_940
