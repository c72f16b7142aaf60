#include "model/SimpleRule.h"

#include <algorithm>

#include "host/NumberText.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"

namespace KtZembra_940 {

SimpleRule::SimpleRule(std::string id) {
  if (!id.empty()) {
    ruleLabel = id;
    ruleId = std::move(id);
  }
}

SimpleRule::SimpleRule(const SimpleRule& other)
    : ruleId(other.ruleId),
      scoreValue(other.scoreValue),
      recordCount(other.recordCount),
      nbCorrect(other.nbCorrect),
      confidence(other.confidence),
      weight(other.weight),
      targetVariableName(other.targetVariableName),
      ruleLabel(other.ruleLabel),
      disabled(other.disabled),
      searchDirection(other.searchDirection) {
  CopyOwned(other);
}

SimpleRule& SimpleRule::operator=(const SimpleRule& other) {
  if (this == &other) return *this;
  ruleId = other.ruleId;
  scoreValue = other.scoreValue;
  recordCount = other.recordCount;
  nbCorrect = other.nbCorrect;
  confidence = other.confidence;
  weight = other.weight;
  targetVariableName = other.targetVariableName;
  ruleLabel = other.ruleLabel;
  disabled = other.disabled;
  searchDirection = other.searchDirection;
  ReleaseOwned();
  CopyOwned(other);
  return *this;
}

SimpleRule::~SimpleRule() { ReleaseOwned(); }

// Clones what `other` owns into this record, which holds nothing owned on
// entry. Null split entries keep their place; distribution entries without a
// value are not copied.
void SimpleRule::CopyOwned(const SimpleRule& other) {
  splitVars.reserve(other.splitVars.size());
  for (const ScoreSplitVar* split : other.splitVars) {
    splitVars.push_back(split != nullptr ? split->Clone() : nullptr);
  }
  for (const ValuePercent& entry : other.valuePercents) {
    if (entry.first == nullptr) continue;
    valuePercents.emplace_back(entry.first->Clone(), entry.second);
  }
}

void SimpleRule::ReleaseOwned() {
  for (ScoreSplitVar* split : splitVars) delete split;
  splitVars.clear();
  for (ValuePercent& entry : valuePercents) delete entry.first;
  valuePercents.clear();
}

int SimpleRule::GetRecordCount() const { return NumberText::SaturateToInt(recordCount); }

int SimpleRule::GetnbCorrect() const { return NumberText::SaturateToInt(nbCorrect); }

void SimpleRule::SetSplitVar(std::vector<ScoreSplitVar*>& splits) {
  if (&splits == &splitVars) return;
  for (ScoreSplitVar* old : splitVars) {
    if (old != nullptr && std::find(splits.begin(), splits.end(), old) == splits.end()) {
      delete old;
    }
  }
  splitVars = splits;
}

bool SimpleRule::AddValuePercent(ScoreValue* value, double percent) {
  if (value == nullptr) return false;
  valuePercents.emplace_back(value, percent);
  return true;
}

double SimpleRule::GetPercent(const ScoreValue* value) const {
  if (value == nullptr) return -1.0;
  for (const ValuePercent& entry : valuePercents) {
    if (entry.first != nullptr && *entry.first == *value) return entry.second;
  }
  return -1.0;
}

}  // namespace KtZembra_940
