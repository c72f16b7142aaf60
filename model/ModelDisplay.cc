// The plain-text dump of a model and of its rule records, for diagnosis. The
// texts are fixed: tools and people compare dumps line by line.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>

#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "model/DerivedFieldProgram.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {

void RuleSetModel::Display(std::ostream& os) const {
  const size_t models = simpleRules.size();
  os << "Start RuleSetModel Display\n";
  os << "There are total " << static_cast<uint64_t>(models) << " models\n";
  if (derivedFields != nullptr) derivedFields->Display(os);
  os << "Model information is: \n";
  for (size_t i = 0; i < models; ++i) {
    os << "******   model " << static_cast<int>(i + 1) << " ****** \n";
    os << "Rule Selection method used in scoring :";
    if (i < ruleSelectionMethodUsed.size()) {
      // An unknown method writes nothing more: the next item continues the
      // line.
      switch (ruleSelectionMethodUsed[i]) {
        case firstHit:
          os << "firstHit\n";
          break;
        case weightedSum:
          os << "weightedSum\n";
          break;
        case weightedMax:
          os << "weightedMax\n";
          break;
        default:
          break;
      }
    }
    if (i < defaultScore.size()) os << "Default Score: " << defaultScore[i] << "\n";
    if (i < defaultConfidence.size()) {
      os << "Default confidence: " << defaultConfidence[i] << "\n";
    }
    if (i < recordCount.size()) os << "Total number of Records: " << recordCount[i] << "\n";
    if (i < nbCorrect.size()) os << "nbCorrect: " << nbCorrect[i] << "\n";
    for (const SimpleRule* rule : simpleRules[i]) {
      if (rule != nullptr) rule->Display(os);
    }
  }
}

void SimpleRule::Display(std::ostream& os) const {
  os << "Rule ID: " << ruleId << "\n";
  os << "Rule Label: " << ruleLabel << "\n";
  os << "Target variable name: " << targetVariableName << "\n";
  os << "Score: " << scoreValue << "\n";
  os << "recoredCount: " << recordCount << "\n";
  os << "nbCorrect: " << nbCorrect << "\n";
  os << "confidence: " << confidence << "\n";
  os << "weight: " << weight << "\n";
  os << "target variable name: " << targetVariableName << "\n";
  if (packedSplits.empty()) {
    os << "There are " << static_cast<uint64_t>(splitVars.size()) << " split variables: \n";
    for (const ScoreSplitVar* split : splitVars) {
      if (split != nullptr) split->Display(os);
    }
  } else {
    os << "There are " << static_cast<uint64_t>(packedSplits.size()) << " split variables: \n";
    for (const PackedSplit& entry : packedSplits) {
      if (entry.kind == PackedSplit::kObject) {
        entry.split->Display(os);
      } else if (entry.kind == PackedSplit::kRange) {
        const std::unique_ptr<ScoreSplitVar> split(Unpack(entry));
        split->Display(os);
      }
    }
  }
  os << "Score Value distribution:\n";
  for (const ValuePercent& entry : valuePercents) {
    if (entry.first != nullptr) os << entry.first->GetString();
    os << ": " << entry.second << "\n";
  }
  os << "End of SimpleRule\n\n";
}

}  // namespace KtZembra_940
