#include "host/ScoreClsResult.h"

namespace KtZembra_940 {

ScoreClsResult::~ScoreClsResult() = default;

}  // namespace KtZembra_940
