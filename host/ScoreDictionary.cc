#include "host/ScoreDictionary.h"

#include "host/ScoreDictVar.h"

namespace KtZembra_940 {

ScoreDictionary::ScoreDictionary() = default;

ScoreDictionary::~ScoreDictionary() {
  for (ScoreDictVar* var : vars_) delete var;
}

ScoreDictVar* ScoreDictionary::GetVar(const std::string& name) const {
  const auto found = index_.find(name);
  return found == index_.end() ? nullptr : vars_[found->second];
}

bool ScoreDictionary::AddVar(const std::string& name, ScoreDictVar* var) {
  if (var == nullptr) return false;
  if (index_.count(name) > 0) {
    delete var;
    return false;
  }
  vars_.push_back(var);
  index_.emplace(name, vars_.size() - 1);
  return true;
}

}  // namespace KtZembra_940
