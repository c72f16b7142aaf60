#include "host/ScoreSplitVar.h"

namespace KtZembra_940 {

ScoreSplitVar::ScoreSplitVar(const ScoreDictVar* var) : var_(var) {}

ScoreSplitVar::~ScoreSplitVar() = default;

void ScoreSplitVar::DisplayMissval(std::ostream& os) const {
  if (missvalMap_ >= 0) {
    os << " | missing";
  } else if (missvalMap_ == -2) {
    os << " | not missing";
  }
}

}  // namespace KtZembra_940
