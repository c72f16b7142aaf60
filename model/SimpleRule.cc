#include "model/SimpleRule.h"

#include <algorithm>
#include <memory>
#include <typeinfo>

#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/Range.h"
#include "host/ScaleSplit.h"
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
// value are not copied. Packed splits are copied packed.
void SimpleRule::CopyOwned(const SimpleRule& other) {
  splitVars.reserve(other.splitVars.size());
  for (const ScoreSplitVar* split : other.splitVars) {
    splitVars.push_back(split != nullptr ? split->Clone() : nullptr);
  }
  packedSplits.reserve(other.packedSplits.size());
  for (PackedSplit entry : other.packedSplits) {
    if (entry.kind == PackedSplit::kObject) {
      std::unique_ptr<ScoreSplitVar> copy(entry.split->Clone());
      entry.split = copy.get();
      packedSplits.push_back(entry);
      copy.release();
    } else {
      packedSplits.push_back(entry);
    }
  }
  for (const ValuePercent& entry : other.valuePercents) {
    if (entry.first == nullptr) continue;
    valuePercents.emplace_back(entry.first->Clone(), entry.second);
  }
}

void SimpleRule::ReleaseOwned() {
  for (ScoreSplitVar* split : splitVars) delete split;
  splitVars.clear();
  if (std::vector<ScoreSplitVar*>* made = unpacked.exchange(nullptr)) {
    for (size_t k = 0; k < made->size() && k < packedSplits.size(); ++k) {
      if (packedSplits[k].kind == PackedSplit::kRange) delete (*made)[k];
    }
    delete made;
  }
  for (PackedSplit& entry : packedSplits) {
    if (entry.kind == PackedSplit::kObject) delete entry.split;
  }
  packedSplits.clear();
  for (ValuePercent& entry : valuePercents) delete entry.first;
  valuePercents.clear();
}

ScoreSplitVar* SimpleRule::Unpack(const PackedSplit& entry) {
  auto split = std::make_unique<ScaleSplit>(entry.var);
  auto range = std::make_unique<Range>(new NumericValue(entry.low), new NumericValue(entry.high),
                                       entry.lowClosed, entry.highClosed);
  split->PutSplit(range.release(), entry.splitIndex);
  split->SetMissvalMap(entry.missvalMap);
  return split.release();
}

const std::vector<ScoreSplitVar*>& SimpleRule::GetSplitVar() const {
  if (packedSplits.empty()) return splitVars;
  if (std::vector<ScoreSplitVar*>* made = unpacked.load(std::memory_order_acquire)) return *made;
  auto fresh = std::make_unique<std::vector<ScoreSplitVar*>>();
  // Deletes what was made here unless it was handed over.
  struct Made {
    const std::vector<PackedSplit>& entries;
    std::vector<ScoreSplitVar*>* list;
    ~Made() {
      if (list == nullptr) return;
      for (size_t k = 0; k < list->size(); ++k) {
        if (entries[k].kind == PackedSplit::kRange) delete (*list)[k];
      }
    }
  } guard{packedSplits, fresh.get()};
  fresh->reserve(packedSplits.size());
  for (const PackedSplit& entry : packedSplits) {
    fresh->push_back(entry.kind == PackedSplit::kRange    ? Unpack(entry)
                     : entry.kind == PackedSplit::kObject ? entry.split
                                                          : nullptr);
  }
  // Another thread may have made them meanwhile: the first one made stays.
  std::vector<ScoreSplitVar*>* expected = nullptr;
  if (unpacked.compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel,
                                       std::memory_order_acquire)) {
    guard.list = nullptr;
    return *fresh.release();
  }
  return *expected;
}

void SimpleRule::PackSplits() {
  if (!packedSplits.empty() || splitVars.empty()) return;
  std::vector<PackedSplit> packed;
  packed.reserve(splitVars.size());
  for (ScoreSplitVar* split : splitVars) {
    PackedSplit entry;
    const ScaleSplit* scale = split != nullptr && typeid(*split) == typeid(ScaleSplit)
                                  ? static_cast<const ScaleSplit*>(split)
                                  : nullptr;
    const Range* range = scale != nullptr && scale->GetRanges().size() == 1 &&
                                 scale->GetSplitIndices().size() == 1
                             ? scale->GetRanges()[0]
                             : nullptr;
    if (split == nullptr) {
      entry.kind = PackedSplit::kNull;
    } else if (range != nullptr && range->GetLow() != nullptr && range->GetHigh() != nullptr) {
      entry.kind = PackedSplit::kRange;
      entry.var = scale->GetSplitVar();
      entry.low = range->GetLow()->GetDouble();
      entry.high = range->GetHigh()->GetDouble();
      entry.lowClosed = range->IsLowClosed();
      entry.highClosed = range->IsHighClosed();
      entry.missvalMap = scale->GetMissvalMap();
      entry.splitIndex = scale->GetSplitIndices()[0];
    } else {
      entry.kind = PackedSplit::kObject;
      entry.split = split;
    }
    packed.push_back(entry);
  }
  // Nothing below throws: the objects are either packed or moved over.
  for (size_t k = 0; k < packed.size(); ++k) {
    if (packed[k].kind == PackedSplit::kRange) delete splitVars[k];
  }
  std::vector<ScoreSplitVar*>().swap(splitVars);
  packedSplits.swap(packed);
}

void SimpleRule::UnpackAll() {
  if (packedSplits.empty()) return;
  std::vector<ScoreSplitVar*> objects = GetSplitVar();
  // The objects made, and those packedSplits held, now belong to splitVars.
  delete unpacked.exchange(nullptr);
  std::vector<PackedSplit>().swap(packedSplits);
  splitVars.swap(objects);
}

int SimpleRule::GetRecordCount() const { return NumberText::SaturateToInt(recordCount); }

int SimpleRule::GetnbCorrect() const { return NumberText::SaturateToInt(nbCorrect); }

void SimpleRule::SetSplitVar(std::vector<ScoreSplitVar*>& splits) {
  if (&splits == &splitVars) return;
  // `splits` may be the list GetSplitVar answered for packed splits, which
  // UnpackAll deletes.
  std::vector<ScoreSplitVar*> incoming = splits;
  UnpackAll();
  for (ScoreSplitVar* old : splitVars) {
    if (old != nullptr && std::find(incoming.begin(), incoming.end(), old) == incoming.end()) {
      delete old;
    }
  }
  splitVars.swap(incoming);
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
