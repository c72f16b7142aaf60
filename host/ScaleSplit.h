// The split of a continuous field: ranges of numbers.
#ifndef RULESCORE_HOST_SCALESPLIT_H_
#define RULESCORE_HOST_SCALESPLIT_H_

#include <ostream>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreSplitVar.h"

namespace KtZembra_940 {

class Range;

class RULESCORE_HOST_API ScaleSplit : public ScoreSplitVar {
 public:
  explicit ScaleSplit(const ScoreDictVar* var);
  ScaleSplit(const ScaleSplit& other);
  ~ScaleSplit() override;

  ScoreSplitVar* Clone() const override;
  // "age: (3, 7]"; several ranges are joined with " or ".
  void Display(std::ostream& os) const override;

  // Adds a range (taken over) at a split index.
  void PutSplit(Range* range, int splitIndex);
  const std::vector<Range*>& GetRanges() const { return ranges_; }
  // Split index given with each range, in the same order.
  const std::vector<int>& GetSplitIndices() const { return indices_; }

 private:
  std::vector<Range*> ranges_;  // owned
  std::vector<int> indices_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCALESPLIT_H_
