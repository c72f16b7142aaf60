#include "host/ScoreModel.h"

namespace KtZembra_940 {

ScoreModel::~ScoreModel() = default;

}  // namespace KtZembra_940
