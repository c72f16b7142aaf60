#include "host/BatchScoreColumns.h"

namespace KtZembra_940 {

void BatchScoreColumns::Resize(size_t rows, size_t outputFields) {
  prediction.resize(rows);
  confidence.resize(rows);
  winningRule.resize(rows);
  firedCount.resize(rows);
  status.resize(rows);
  errorColumn.resize(rows);
  fired.clear();
  outputs.resize(rows * outputFields);
}

BatchScores BatchScoreColumns::Scores() {
  BatchScores s;
  s.prediction = prediction.data();
  s.confidence = confidence.data();
  s.winningRule = winningRule.data();
  s.firedCount = firedCount.data();
  s.status = status.data();
  s.errorColumn = errorColumn.data();
  s.fired = &fired;
  s.outputs = outputs.empty() ? nullptr : outputs.data();
  return s;
}

}  // namespace KtZembra_940
