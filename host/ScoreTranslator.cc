#include "host/ScoreTranslator.h"

namespace KtZembra_940 {

ScoreTranslator::~ScoreTranslator() = default;

void ScoreTranslator::SetSupportOldParser(bool /*support*/) {}

bool ScoreTranslator::SetOption(const std::string& /*name*/, const std::string& /*value*/) {
  return false;
}

}  // namespace KtZembra_940
