// The split of a nominal or ordinal field: the member values, and for an
// ordinal field the range of category indices they came from.
#ifndef RULESCORE_HOST_DISCRETESPLIT_H_
#define RULESCORE_HOST_DISCRETESPLIT_H_

#include <ostream>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreSplitVar.h"

namespace KtZembra_940 {

class ScoreValue;

class RULESCORE_HOST_API DiscreteSplit : public ScoreSplitVar {
 public:
  explicit DiscreteSplit(const ScoreDictVar* var);
  DiscreteSplit(const DiscreteSplit& other);
  ~DiscreteSplit() override;

  ScoreSplitVar* Clone() const override;
  // "colour: {red, green}"; an ordinal range adds " [1..2]".
  void Display(std::ostream& os) const override;

  // Adds a member value (taken over) at a split index.
  void PutSplit(ScoreValue* value, int splitIndex);
  const std::vector<ScoreValue*>& GetValues() const { return values_; }
  const std::vector<int>& GetSplitIndices() const { return indices_; }

  // Ordinal index range; both -1 until set.
  void SetStartAndEndIndex(int start, int end);
  int GetStartIndex() const { return start_; }
  int GetEndIndex() const { return end_; }

 private:
  std::vector<ScoreValue*> values_;  // owned
  std::vector<int> indices_;
  int start_ = -1;
  int end_ = -1;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_DISCRETESPLIT_H_
