#include "host/CompoundPredicate.h"

#include <cstring>
#include <utility>

namespace KtZembra_940 {

CompoundPredicate::CompoundPredicate(int boolOperator, std::vector<ScorePredicate*> members)
    : boolOperator_(boolOperator), members_(std::move(members)) {}

CompoundPredicate::~CompoundPredicate() {
  // Members of nested compounds are moved onto one work list before their
  // owner goes, so every destructor that runs meets an empty member list.
  std::vector<ScorePredicate*> pending = std::move(members_);
  members_.clear();
  while (!pending.empty()) {
    ScorePredicate* p = pending.back();
    pending.pop_back();
    if (p == nullptr) continue;
    if (auto* compound = dynamic_cast<CompoundPredicate*>(p)) {
      for (ScorePredicate* member : compound->members_) pending.push_back(member);
      compound->members_.clear();
    }
    delete p;
  }
}

bool CompoundPredicate::OperatorFromText(const char* text, int* op) {
  if (text == nullptr) return false;
  static constexpr struct {
    const char* text;
    int op;
  } kOperators[] = {{"or", kOr}, {"and", kAnd}, {"xor", kXor}, {"surrogate", kSurrogate}};
  for (const auto& entry : kOperators) {
    if (std::strcmp(text, entry.text) == 0) {
      if (op != nullptr) *op = entry.op;
      return true;
    }
  }
  return false;
}

}  // namespace KtZembra_940
