#include "scoring/ScoringPlan.h"

#include <algorithm>
#include <utility>

namespace KtZembra_940 {

ScoringPlan::ScoringPlan(const std::vector<RuleSetModel::ST_RuleSet*>& ruleSets,
                         const std::vector<int32_t>& ruleCount,
                         const std::vector<bool>& predVarIsString)
    : isString(predVarIsString) {
  models.resize(ruleCount.size());
  for (size_t m = 0; m < ruleCount.size(); ++m) {
    if (m >= ruleSets.size() || ruleSets[m] == nullptr) continue;
    const std::vector<RuleSetModel::ST_Rule>& rules = ruleSets[m]->rules;
    const int32_t n = std::max<int32_t>(
        0, std::min<int32_t>(ruleCount[m], static_cast<int32_t>(rules.size())));
    if (n == 0) continue;
    models[m] = std::make_unique<Model>(rules, n, isString);
  }
}

ScoringPlan::~ScoringPlan() = default;

ScoringPlan::Model* ScoringPlan::ModelOf(int m) {
  if (m < 0 || static_cast<size_t>(m) >= models.size()) return nullptr;
  Model* model = models[static_cast<size_t>(m)].get();
  return model != nullptr && model->plan.words != 0 ? model : nullptr;
}

void ScoringPlan::FiredRules(int m, const double* values, bool firstOnly,
                             std::vector<int32_t>& fired) {
  fired.clear();
  Model* model = ModelOf(m);
  if (model == nullptr) return;
  if (firstOnly) {
    const int32_t first = FirstFiredRule(m, values);
    if (first >= 0) fired.push_back(first);
    return;
  }
  DecisionDiagram& dag = model->dags[0];
  if (walk != Walk::kLazy && !dag.built()) dag.Build(model->plan, false, walk == Walk::kBest);
  if (walk == Walk::kLazy || !dag.usable()) {
    model->lazy.Walk(values, &fired);
    return;
  }
  dag.AppendLeafRules(dag.Walk(model->plan, values), fired);
}

void ScoringPlan::BuildFirstHit(Model& model) {
  DecisionDiagram& dag = model.dags[1];
  if (dag.built()) return;
  if (walk == Walk::kLazy) {
    model.firstValues = std::vector<LeafValue>();
    return;
  }
  // A first-hit leaf is its rule plus one; leaf 0, where none fires, has
  // no value.
  std::vector<LeafValue> leafValues;
  if (!model.firstValues.empty()) {
    leafValues.reserve(model.firstValues.size() + 1);
    leafValues.emplace_back();
    leafValues.insert(leafValues.end(), model.firstValues.begin(), model.firstValues.end());
  }
  dag.Build(model.plan, true, walk == Walk::kBest, leafValues.empty() ? nullptr : &leafValues);
  model.firstValues = std::vector<LeafValue>();
}

void ScoringPlan::AttachFirstHitValues(int m, std::vector<LeafValue> values) {
  if (m < 0 || static_cast<size_t>(m) >= models.size() || !models[static_cast<size_t>(m)]) return;
  models[static_cast<size_t>(m)]->firstValues = std::move(values);
}

int32_t ScoringPlan::FirstFiredRule(int m, const double* values) {
  LeafValue unused;
  bool attached = false;
  return FirstFiredRule(m, values, &unused, &attached);
}

int32_t ScoringPlan::FirstFiredRule(int m, const double* values, LeafValue* value, bool* attached) {
  *attached = false;
  Model* model = ModelOf(m);
  if (model == nullptr) return -1;
  BuildFirstHit(*model);
  DecisionDiagram& dag = model->dags[1];
  if (walk == Walk::kLazy || !dag.usable()) return model->lazy.Walk(values, nullptr);
  return dag.LeafFirst(dag.Walk(model->plan, values, value, attached));
}

void ScoringPlan::FirstFiredRules(int m, const double* rows, size_t width, size_t count,
                                  int32_t* first) {
  Model* model = ModelOf(m);
  if (model == nullptr) {
    std::fill(first, first + count, -1);
    return;
  }
  BuildFirstHit(*model);
  DecisionDiagram& dag = model->dags[1];
  if (walk == Walk::kLazy || !dag.usable()) {
    for (size_t i = 0; i < count; ++i) first[i] = model->lazy.Walk(rows + i * width, nullptr);
    return;
  }
  dag.WalkRows(model->plan, rows, width, count, first);
  for (size_t i = 0; i < count; ++i) first[i] = dag.LeafFirst(first[i]);
}

int ScoringPlan::ItemCount(int m) const {
  if (m < 0 || static_cast<size_t>(m) >= models.size() || !models[static_cast<size_t>(m)]) return 0;
  return static_cast<int>(models[static_cast<size_t>(m)]->plan.items.size());
}

size_t ScoringPlan::MemoryBytes() const {
  size_t bytes = sizeof(*this) + isString.size() / 8;
  for (const auto& model : models) {
    if (!model) continue;
    bytes += sizeof(Model) + model->plan.MemoryBytes() + model->lazy.MemoryBytes();
    for (const DecisionDiagram& dag : model->dags) bytes += dag.MemoryBytes();
  }
  return bytes;
}

}  // namespace KtZembra_940
