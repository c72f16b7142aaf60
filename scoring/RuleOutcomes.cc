#include "scoring/RuleOutcomes.h"

namespace KtZembra_940 {

void RuleOutcomes::Add(int32_t scoreIndex, int32_t numbOfCategories, double weight,
                       double confidence) {
  Entry entry;
  entry.weight = weight;
  entry.confidence = confidence;
  entry.category = CategoryOf(scoreIndex, numbOfCategories);
  entries_.push_back(entry);
}

}  // namespace KtZembra_940
