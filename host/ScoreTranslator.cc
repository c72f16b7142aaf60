#include "host/ScoreTranslator.h"

namespace KtZembra_940 {

ScoreTranslator::~ScoreTranslator() = default;

void ScoreTranslator::SetSupportOldParser(bool /*support*/) {}

}  // namespace KtZembra_940
