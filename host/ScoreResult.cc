#include "host/ScoreResult.h"

namespace KtZembra_940 {

ScoreResult::~ScoreResult() = default;

}  // namespace KtZembra_940
