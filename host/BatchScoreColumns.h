// Owned result arrays for a columnar call: one vector per result column of
// BatchScores, sized for a number of rows, and the BatchScores that points
// into them.
#ifndef RULESCORE_HOST_BATCHSCORECOLUMNS_H_
#define RULESCORE_HOST_BATCHSCORECOLUMNS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/BatchScores.h"
#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API BatchScoreColumns {
 public:
  BatchScoreColumns() = default;
  BatchScoreColumns(size_t rows, size_t outputFields) { Resize(rows, outputFields); }

  // Room for `rows` rows and `outputFields` output values per row; the
  // fired-rule list is emptied.
  void Resize(size_t rows, size_t outputFields);
  // Where ScoreBatch writes: these arrays (output values only when kept).
  BatchScores Scores();

  std::vector<int32_t> prediction;
  std::vector<double> confidence;
  std::vector<int32_t> winningRule;
  std::vector<int32_t> firedCount;
  std::vector<int32_t> status;
  std::vector<int32_t> errorColumn;
  std::vector<int32_t> fired;
  std::vector<BatchScores::OutputValue> outputs;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_BATCHSCORECOLUMNS_H_
