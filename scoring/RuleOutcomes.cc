#include "scoring/RuleOutcomes.h"

namespace KtZembra_940 {

void RuleOutcomes::Add(const std::string& id, int32_t scoreIndex, int32_t numbOfCategories,
                       double weight, double confidence) {
  Entry entry;
  entry.weight = weight;
  entry.confidence = confidence;
  entry.category = CategoryOf(scoreIndex, numbOfCategories);
  entries_.push_back(entry);
  ids_.push_back(id);
}

}  // namespace KtZembra_940
