// A comparison of one field with one value (PMML SimplePredicate).
#ifndef RULESCORE_HOST_SIMPLEPREDICATE_H_
#define RULESCORE_HOST_SIMPLEPREDICATE_H_

#include <memory>
#include <string>

#include "host/HostExport.h"
#include "host/ScorePredicate.h"

namespace KtZembra_940 {

class ScoreDictVar;

class RULESCORE_HOST_API SimplePredicate : public ScorePredicate {
 public:
  enum SimplePredOperator {
    kEqual = 0,
    kNotEqual = 1,
    kLessThan = 2,
    kLessOrEqual = 3,
    kGreaterThan = 4,
    kGreaterOrEqual = 5,
    kIsMissing = 6,
    kIsNotMissing = 7,
  };

  // `var` is the dictionary's variable, not owned. `value` is already
  // encoded: the number for a numeric field (system-missing for an empty
  // text), the label code for a string field. `valueText` is the attribute
  // text as read; `hasValue` tells whether the attribute was present.
  SimplePredicate(const ScoreDictVar* var, SimplePredOperator op, double value,
                  std::string valueText, bool hasValue);
  ~SimplePredicate() override;

  int GetPredType() const override { return kSimple; }
  const ScoreSplitVar* GetSplit() const override;

  SimplePredOperator GetPredicateOperator() const { return op_; }
  double GetPredValueByDouble() const { return value_; }
  const std::string& GetPredValueText() const { return valueText_; }
  bool HasPredValue() const { return hasValue_; }
  const ScoreDictVar* GetVar() const { return var_; }

  // Operator code for a PMML operator text; false when it is none of the
  // eight.
  static bool OperatorFromText(const std::string& text, SimplePredOperator* op);

 private:
  const ScoreDictVar* var_;
  SimplePredOperator op_;
  double value_;
  std::string valueText_;
  bool hasValue_;
  std::unique_ptr<ScoreSplitVar> split_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SIMPLEPREDICATE_H_
