// The rule-by-rule evaluation of compiled rules against the encoded record:
// the reference that every faster way of finding the fired rules must match.
#include <cstddef>
#include <vector>

#include "host/NumericValue.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"

namespace KtZembra_940 {

namespace {

using Condition = RuleSetModel::ST_SIM_Condition;
using Compound = RuleSetModel::ST_COMP_Condition;

// What one entry of `conditions` says: true, false, or nothing (an operator
// code the scoring does not know, or a member with no flag), in which case
// the running result keeps the value of the entry before it.
enum class Outcome { kFalse, kTrue, kNone };

Outcome FromBool(bool value) { return value ? Outcome::kTrue : Outcome::kFalse; }

Outcome EvaluateSimple(const Condition& c, double x, bool isString) {
  const double v = c.value;
  switch (c.simpleOperator) {
    case SimplePredicate::kEqual:
      return FromBool(x == v);
    case SimplePredicate::kNotEqual:
      return FromBool(!(x == v));
    // The system-missing value is the lowest double, so below every value
    // compared with: the "less" tests exclude it, the "greater" tests are
    // false for it on their own.
    case SimplePredicate::kLessThan:
      return FromBool(x < v && !NumericValue::IsSystemMissingValue(x));
    case SimplePredicate::kLessOrEqual:
      return FromBool(x <= v && !NumericValue::IsSystemMissingValue(x));
    case SimplePredicate::kGreaterThan:
      return FromBool(x > v);
    case SimplePredicate::kGreaterOrEqual:
      return FromBool(x >= v);
    // A string variable absent from the record, or with a text that has no
    // code, encodes as -1.
    case SimplePredicate::kIsMissing:
      return FromBool(isString ? x == -1.0 : NumericValue::IsSystemMissingValue(x));
    case SimplePredicate::kIsNotMissing:
      return FromBool(isString ? !(x == -1.0) : !NumericValue::IsSystemMissingValue(x));
    default:
      return Outcome::kNone;
  }
}

Outcome EvaluateSet(const Condition& c, double x) {
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

// Combines the members of a rule or of a compound condition. Nested
// compounds are evaluated first, then the simple, set and constant members;
// "or" stops at the first true member, "and" at the first false one, "xor"
// takes the parity of all of them, and any other operator evaluates every
// member and answers with the last one.
template <class Node, class CompoundEval>
bool CombineMembers(const Node& node, const std::vector<double>& values,
                    const std::vector<bool>& isString, CompoundEval evaluateCompound) {
  if (node.fixedResult != 0) return node.fixedResult == 1;
  const int op = node.boolOperator;
  bool r = false;
  bool parity = false;

  for (const Compound& member : node.compConditions) {
    r = evaluateCompound(member);
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }

  // The k-th simple or set entry of `conditions` tests the variable of the
  // k-th entry of `varIndices`. Constant members take no variable: when
  // they hold no entry of their own there, the pairing skips them.
  const bool paired = node.varIndices.size() == node.conditions.size();
  size_t nextVar = 0;
  for (size_t i = 0; i < node.conditions.size(); ++i) {
    const Condition& c = node.conditions[i];
    Outcome outcome;
    if (c.isSimple || c.isSet) {
      const size_t slot = paired ? i : nextVar++;
      double x = NumericValue::GetSysmisValue();
      bool stringVar = false;
      if (slot < node.varIndices.size()) {
        const int32_t index = node.varIndices[slot];
        // An index that names no registered variable reads as missing.
        if (index >= 0 && static_cast<size_t>(index) < values.size()) {
          x = values[static_cast<size_t>(index)];
          stringVar = static_cast<size_t>(index) < isString.size() &&
                      isString[static_cast<size_t>(index)];
        }
      }
      outcome = c.isSimple ? EvaluateSimple(c, x, stringVar) : EvaluateSet(c, x);
    } else if (c.isTrue) {
      outcome = Outcome::kTrue;
    } else if (c.isFalse) {
      outcome = Outcome::kFalse;
    } else {
      outcome = Outcome::kNone;
    }
    if (outcome != Outcome::kNone) r = outcome == Outcome::kTrue;
    if (op == 0 && r) return true;
    if (op == 1 && !r) return false;
    if (op == 2) parity = parity != r;
  }
  return op == 2 ? parity : r;
}

}  // namespace

bool RuleSetModel::IsFiredRule(const ST_Rule& rule) const {
  return CombineMembers(rule, predVarValues, predVarIsString,
                        [this](const ST_COMP_Condition& c) { return IsCompoundPredFiredRule(c); });
}

bool RuleSetModel::IsCompoundPredFiredRule(const ST_COMP_Condition& comp) const {
  return CombineMembers(comp, predVarValues, predVarIsString,
                        [this](const ST_COMP_Condition& c) { return IsCompoundPredFiredRule(c); });
}

}  // namespace KtZembra_940
