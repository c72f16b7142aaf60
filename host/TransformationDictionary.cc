#include "host/TransformationDictionary.h"

#include "host/ScoreDictVar.h"

namespace KtZembra_940 {

TransformationDictionary::TransformationDictionary(const ScoreDictionary* base) : base_(base) {}

TransformationDictionary::~TransformationDictionary() = default;

void TransformationDictionary::SetUpDerivedCaseRecord() {
  // Derived fields follow the data fields in the record, in the order they
  // were declared; running again gives the same positions.
  const int first = base_ != nullptr ? base_->GetVarCount() : 0;
  const std::vector<ScoreDictVar*>& vars = GetAllVars();
  for (size_t i = 0; i < vars.size(); ++i) vars[i]->SetCaseIndex(first + static_cast<int>(i));
  ready_ = true;
}

}  // namespace KtZembra_940
