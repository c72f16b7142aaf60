// A split variable: what one rule accepts of one field (a range of a
// continuous field, the members of a discrete one), and where the field's
// missing values go.
#ifndef RULESCORE_HOST_SCORESPLITVAR_H_
#define RULESCORE_HOST_SCORESPLITVAR_H_

#include <ostream>

#include "host/HostExport.h"

namespace KtZembra_940 {

class ScoreDictVar;

class RULESCORE_HOST_API ScoreSplitVar {
 public:
  // The missing-value map of a new split: below 0, "not set".
  static constexpr int kMissvalUnset = -1;

  virtual ~ScoreSplitVar();
  ScoreSplitVar& operator=(const ScoreSplitVar&) = delete;

  // A deep copy owned by the caller.
  virtual ScoreSplitVar* Clone() const = 0;
  // One line, ending in '\n', such as "age: (3, 7]" or
  // "colour: {red, green}"; a missing-value map at or above 0 adds
  // " | missing", -2 adds " | not missing".
  virtual void Display(std::ostream& os) const = 0;

  // The field, not owned.
  const ScoreDictVar* GetSplitVar() const { return var_; }
  // Split index that missing values map to; -2 after isNotMissing.
  void SetMissvalMap(int map) { missvalMap_ = map; }
  int GetMissvalMap() const { return missvalMap_; }

 protected:
  explicit ScoreSplitVar(const ScoreDictVar* var);
  ScoreSplitVar(const ScoreSplitVar&) = default;
  void DisplayMissval(std::ostream& os) const;

 private:
  const ScoreDictVar* var_;
  int missvalMap_ = kMissvalUnset;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORESPLITVAR_H_
