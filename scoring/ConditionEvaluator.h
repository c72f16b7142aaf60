// Evaluation of compiled conditions against an encoded record, shared by the
// rule-by-rule walk of the model and by the scoring plan, so that both give
// the same answer for every structure, odd operator codes included.
#ifndef RULESCORE_SCORING_CONDITIONEVALUATOR_H_
#define RULESCORE_SCORING_CONDITIONEVALUATOR_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/CompoundPredicate.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"

namespace KtZembra_940 {
namespace ConditionEvaluator {

using Condition = RuleSetModel::ST_SIM_Condition;
using Compound = RuleSetModel::ST_COMP_Condition;

// What one entry of `conditions` says: true, false, or nothing (an operator
// code the scoring does not know, or a member with no flag), in which case
// the running result keeps the value of the entry before it.
enum class Outcome : uint8_t { kFalse, kTrue, kNone };

// The host's system-missing value: the lowest finite double, below every
// value a predicate compares with.
constexpr double kSysmis = std::numeric_limits<double>::lowest();

// The encoded record as the evaluation sees it.
struct Record {
  const double* values;
  size_t count;
  const std::vector<bool>* isString;
};

inline Outcome FromBool(bool value) { return value ? Outcome::kTrue : Outcome::kFalse; }

// True when the outcome of the condition depends on the record; false for a
// member whose outcome is the same for every record (an unknown operator
// code, a constant member, a member with no flag).
inline bool ReadsRecord(const Condition& c) {
  if (c.isSimple) return c.simpleOperator >= SimplePredicate::kEqual &&
                         c.simpleOperator <= SimplePredicate::kIsNotMissing;
  if (c.isSet) return c.setOperator == SetPredicate::kIsIn || c.setOperator == SetPredicate::kIsNotIn;
  return false;
}

// The outcome of a member that does not read the record.
inline Outcome ConstantOutcome(const Condition& c) {
  if (c.isSimple || c.isSet) return Outcome::kNone;
  if (c.isTrue) return Outcome::kTrue;
  if (c.isFalse) return Outcome::kFalse;
  return Outcome::kNone;
}

inline Outcome EvaluateSimple(const Condition& c, double x, bool isString) {
  const double v = c.value;
  switch (c.simpleOperator) {
    case SimplePredicate::kEqual:
      return FromBool(x == v);
    case SimplePredicate::kNotEqual:
      return FromBool(!(x == v));
    // The "less" tests exclude the system-missing value; the "greater" tests
    // are false for it since it lies below everything compared with.
    case SimplePredicate::kLessThan:
      return FromBool(x < v && x != kSysmis);
    case SimplePredicate::kLessOrEqual:
      return FromBool(x <= v && x != kSysmis);
    case SimplePredicate::kGreaterThan:
      return FromBool(x > v);
    case SimplePredicate::kGreaterOrEqual:
      return FromBool(x >= v);
    // A string variable absent from the record encodes as -1.
    case SimplePredicate::kIsMissing:
      return FromBool(isString ? x == -1.0 : x == kSysmis);
    case SimplePredicate::kIsNotMissing:
      return FromBool(isString ? !(x == -1.0) : !(x == kSysmis));
    default:
      return Outcome::kNone;
  }
}

inline Outcome EvaluateSet(const Condition& c, double x) {
  bool member = false;
  for (double v : c.setValues) {
    if (v == x) {
      member = true;
      break;
    }
  }
  switch (c.setOperator) {
    case SetPredicate::kIsIn:
      return FromBool(member);
    case SetPredicate::kIsNotIn:
      return FromBool(!member);
    default:
      return Outcome::kNone;
  }
}

// The variable index that the i-th entry of `conditions` tests: the k-th
// simple or set entry pairs with the k-th entry of `varIndices`. When the
// two lists have the same length every entry has a slot of its own;
// otherwise constant members hold none and are skipped by the pairing.
// -1 when the entry has no variable.
template <class Node>
std::vector<int32_t> ConditionVariables(const Node& node) {
  std::vector<int32_t> out(node.conditions.size(), -1);
  const bool paired = node.varIndices.size() == node.conditions.size();
  size_t nextVar = 0;
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Condition& c = node.conditions[i];
    if (!c.isSimple && !c.isSet) continue;
    const size_t slot = paired ? i : nextVar++;
    if (slot < node.varIndices.size()) out[i] = node.varIndices[slot];
  }
  return out;
}

// The outcome of a simple or set condition on variable `index`; an index
// that names no registered variable reads as missing.
inline Outcome EvaluateOn(const Condition& c, int32_t index, const Record& record) {
  double x = kSysmis;
  bool stringVar = false;
  if (index >= 0 && static_cast<size_t>(index) < record.count) {
    x = record.values[index];
    stringVar = static_cast<size_t>(index) < record.isString->size() &&
                (*record.isString)[static_cast<size_t>(index)];
  }
  if (c.isSimple) return EvaluateSimple(c, x, stringVar);
  if (c.isSet) return EvaluateSet(c, x);
  return ConstantOutcome(c);
}

bool EvaluateCompound(const Compound& node, const Record& record);

enum class Truth : uint8_t { kFalse, kTrue, kUnknown };
template <class Node>
Truth TruthOf(const Node& node, const Record& record);

// Combines the members of a rule or of a compound condition. Nested
// compounds are evaluated first, then the simple, set and constant members;
// "or" stops at the first true member, "and" at the first false one, "xor"
// takes the parity of all of them, "surrogate" holds when the first member
// whose inputs are not missing holds (three-valued, below), and any other
// operator evaluates every member and answers with the last one.
template <class Node>
bool Combine(const Node& node, const Record& record) {
  if (node.fixedResult != 0) return node.fixedResult == 1;
  const int op = node.boolOperator;
  if (op == CompoundPredicate::kSurrogate) return TruthOf(node, record) == Truth::kTrue;
  bool r = false;
  bool parity = false;

  for (const Compound& member : node.compConditions) {
    r = EvaluateCompound(member, record);
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }

  const bool paired = node.varIndices.size() == node.conditions.size();
  size_t nextVar = 0;
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Condition& c = node.conditions[i];
    Outcome outcome;
    if (c.isSimple || c.isSet) {
      const size_t slot = paired ? i : nextVar++;
      const int32_t index = slot < node.varIndices.size() ? node.varIndices[slot] : -1;
      outcome = EvaluateOn(c, index, record);
    } else {
      outcome = ConstantOutcome(c);
    }
    if (outcome != Outcome::kNone) r = outcome == Outcome::kTrue;
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }
  return op == 2 ? parity : r;
}

inline bool EvaluateCompound(const Compound& node, const Record& record) {
  return Combine(node, record);
}

// --- three-valued evaluation ---------------------------------------------
// PMML's reading of predicates over missing values: TRUE, FALSE or UNKNOWN.
// A comparison or set test on a missing value is UNKNOWN; isMissing and
// isNotMissing always answer. "and" is FALSE when any member is, else
// UNKNOWN when any member is; "or" is TRUE when any member is, else UNKNOWN
// when any member is; "xor" is UNKNOWN when any member is, else the parity
// of its TRUE members; "surrogate" takes the first member that is not
// UNKNOWN (UNKNOWN when none is).
//
// Under the pmml semantics a record with a missing predictor is scored by
// this walk; the two-valued evaluation above gives the same answers
// whenever no predictor is missing. Both semantics evaluate "surrogate"
// this way, a member that is UNKNOWN handing over to the next.

// The encoded record's missing value of a variable: -1 for a string
// variable, the system-missing value for a number. A variable the record
// does not hold reads as missing.
inline bool IsMissingAt(int32_t index, const Record& record, double* x) {
  if (index < 0 || static_cast<size_t>(index) >= record.count) return true;
  *x = record.values[index];
  const bool stringVar = static_cast<size_t>(index) < record.isString->size() &&
                         (*record.isString)[static_cast<size_t>(index)];
  return stringVar ? *x == -1.0 : *x == kSysmis;
}

// kNone (an operator code the scoring does not know, a member with no flag)
// is passed through as the two-valued evaluation has it: the member says
// nothing. Returned as `*says` false.
inline Truth TruthOfCondition(const Condition& c, int32_t index, const Record& record,
                              bool* says) {
  *says = true;
  if (!ReadsRecord(c)) {
    const Outcome constant = ConstantOutcome(c);
    if (constant == Outcome::kNone) *says = false;
    return constant == Outcome::kTrue ? Truth::kTrue : Truth::kFalse;
  }
  double x = kSysmis;
  const bool missing = IsMissingAt(index, record, &x);
  if (c.isSimple && c.simpleOperator == SimplePredicate::kIsMissing) {
    return missing ? Truth::kTrue : Truth::kFalse;
  }
  if (c.isSimple && c.simpleOperator == SimplePredicate::kIsNotMissing) {
    return missing ? Truth::kFalse : Truth::kTrue;
  }
  if (missing) return Truth::kUnknown;
  const Outcome outcome = EvaluateOn(c, index, record);
  return outcome == Outcome::kTrue ? Truth::kTrue : Truth::kFalse;
}

Truth TruthOfCompound(const Compound& node, const Record& record);

// Folds one member's truth into the running state of the operator `op`.
// Returns true when the outcome is settled (no later member can change it).
struct Fold {
  int op;
  bool anyTrue = false;
  bool anyFalse = false;
  bool anyUnknown = false;
  bool parity = false;
  bool settled = false;
  Truth decided = Truth::kUnknown;  // surrogate: the first member not UNKNOWN

  bool Add(Truth t) {
    if (t == Truth::kUnknown) {
      anyUnknown = true;
    } else if (t == Truth::kTrue) {
      anyTrue = true;
      parity = !parity;
    } else {
      anyFalse = true;
    }
    switch (op) {
      case CompoundPredicate::kOr:
        settled = anyTrue;
        break;
      case CompoundPredicate::kAnd:
        settled = anyFalse;
        break;
      case CompoundPredicate::kSurrogate:
        if (t != Truth::kUnknown) {
          decided = t;
          settled = true;
        }
        break;
      default:
        break;
    }
    return settled;
  }

  Truth Result() const {
    switch (op) {
      case CompoundPredicate::kOr:
        return anyTrue ? Truth::kTrue : anyUnknown ? Truth::kUnknown : Truth::kFalse;
      case CompoundPredicate::kAnd:
        return anyFalse ? Truth::kFalse : anyUnknown ? Truth::kUnknown : Truth::kTrue;
      case CompoundPredicate::kXor:
        return anyUnknown ? Truth::kUnknown : parity ? Truth::kTrue : Truth::kFalse;
      case CompoundPredicate::kSurrogate:
        return decided;
      default:
        return Truth::kUnknown;
    }
  }
};

// The members of a rule or a compound in the order they stand: nested
// compounds first, then the simple, set and constant members (the compile
// keeps a surrogate's members in document order among its nested
// compounds). A node without members is FALSE, as the two-valued walk has
// it.
template <class Node>
Truth TruthOf(const Node& node, const Record& record) {
  if (node.fixedResult != 0) return node.fixedResult == 1 ? Truth::kTrue : Truth::kFalse;
  Fold fold{static_cast<int>(node.boolOperator)};
  bool any = false;
  for (const Compound& member : node.compConditions) {
    any = true;
    if (fold.Add(TruthOfCompound(member, record))) return fold.Result();
  }
  const bool paired = node.varIndices.size() == node.conditions.size();
  size_t nextVar = 0;
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Condition& c = node.conditions[i];
    int32_t index = -1;
    if (c.isSimple || c.isSet) {
      const size_t slot = paired ? i : nextVar++;
      index = slot < node.varIndices.size() ? node.varIndices[slot] : -1;
    }
    bool says = true;
    const Truth t = TruthOfCondition(c, index, record, &says);
    if (!says) continue;
    any = true;
    if (fold.Add(t)) return fold.Result();
  }
  if (!any) return Truth::kFalse;
  return fold.Result();
}

inline Truth TruthOfCompound(const Compound& node, const Record& record) {
  return TruthOf(node, record);
}

}  // namespace ConditionEvaluator
}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_CONDITIONEVALUATOR_H_
