// Choosing one rule set's category and confidence from the rules that fire
// (first hit, weighted sum or weighted maximum, the defaults when none
// fires), the expected-misclassification-cost decision, and the vote across
// rule sets.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "host/NumericValue.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "scoring/ScoringPlan.h"

namespace KtZembra_940 {

void RuleSetModel::ScoreOneRuleSetModel(int m, int& category, double& confidence,
                                        ScoreResult*& /*resultArg*/) {
  if (m < 0 || static_cast<size_t>(m) >= ruleSets.size() || ruleSets[m] == nullptr) return;
  const ST_RuleSet& ruleSet = *ruleSets[m];
  const size_t mi = static_cast<size_t>(m);
  const int method = mi < ruleSelectionMethodUsed.size() ? ruleSelectionMethodUsed[mi] : firstHit;
  const RuleOutcomes* table = mi < outcomes.size() ? &outcomes[mi] : nullptr;
  // Where this rule set records the rule that decided; stays null when a
  // default decides.
  const std::string* unused = nullptr;
  const std::string*& winningRule =
      mi < ruleSetChoices.size() ? ruleSetChoices[mi].winningRule : unused;
  winningRule = nullptr;
  size_t count = 0;
  if (table != nullptr && mi < ruleCount.size() && ruleCount[mi] > 0) {
    count = std::min({static_cast<size_t>(ruleCount[mi]), ruleSet.rules.size(), table->Size()});
  }
  // The common case first: the plan finds the first firing rule, which
  // alone decides.
  if (method == firstHit && count != 0 && !useReferenceWalk && !threeValuedRecord &&
      plan != nullptr) {
    const int32_t first = plan->FirstFiredRule(m, predVarValues.data());
    if (first >= 0 && static_cast<size_t>(first) < count) {
      if (result != nullptr) result->AddFiredRuleId(table->Id(static_cast<size_t>(first)));
      winningRule = table->Id(static_cast<size_t>(first));
      const RuleOutcomes::Entry& rule = table->At(static_cast<size_t>(first));
      category = rule.category;
      confidence = rule.confidence;
      return;
    }
    count = 0;  // nothing fired: the defaults
  }
  int defaultCategory = -1;
  double defaultConf = 0.0;
  RuleSetDefault(mi, defaultCategory, defaultConf);
  if (count == 0) {
    category = defaultCategory;
    confidence = defaultConf;
    return;
  }

  // The positions of the fired rules, in rule order; under first hit only
  // the first. Both ways of finding them give the same list.
  if (threeValuedRecord) {
    firedScratch.clear();
    for (size_t k = 0; k < count; ++k) {
      if (!IsTrueRule(ruleSet.rules[k])) continue;
      firedScratch.push_back(static_cast<int32_t>(k));
      if (method == firstHit) break;
    }
  } else if (useReferenceWalk || plan == nullptr) {
    firedScratch.clear();
    for (size_t k = 0; k < count; ++k) {
      if (!IsFiredRule(ruleSet.rules[k])) continue;
      firedScratch.push_back(static_cast<int32_t>(k));
      if (method == firstHit) break;
    }
  } else {
    plan->FiredRules(m, predVarValues.data(), false, firedScratch);
  }

  size_t fired = 0;
  for (int32_t position : firedScratch) {
    if (position < 0 || static_cast<size_t>(position) >= count) continue;
    firedScratch[fired++] = position;
    if (result != nullptr) result->AddFiredRuleId(table->Id(static_cast<size_t>(position)));
  }
  firedScratch.resize(fired);
  if (fired == 0) {
    category = defaultCategory;
    confidence = defaultConf;
    return;
  }

  switch (method) {
    case firstHit: {
      const RuleOutcomes::Entry& rule = table->At(static_cast<size_t>(firedScratch.front()));
      category = rule.category;
      confidence = rule.confidence;
      winningRule = table->Id(static_cast<size_t>(firedScratch.front()));
      break;
    }
    case weightedMax: {
      // The first fired rule of the greatest weight; an equal weight later
      // on does not displace it.
      double best = 0.0;
      for (size_t j = 0; j < fired; ++j) {
        const RuleOutcomes::Entry& rule = table->At(static_cast<size_t>(firedScratch[j]));
        if (j == 0 || rule.weight > best) {
          best = rule.weight;
          category = rule.category;
          confidence = rule.confidence;
          winningRule = table->Id(static_cast<size_t>(firedScratch[j]));
        }
      }
      break;
    }
    case weightedSum: {
      // Sum the weights per category, noting for each category since which
      // fired rule its sum has held its value. The category with the greatest
      // final sum wins; among equal sums the one that reached it first. With
      // weights of either sign this takes the final sums at their word, and
      // a category that no fired rule predicts is never chosen.
      for (double& score : ruleSetScores) score = 0.0;
      for (int32_t& since : scoreSince) since = -1;
      const size_t categories = ruleSetScores.size() < scoreSince.size() ? ruleSetScores.size()
                                                                           : scoreSince.size();
      int first = -1;
      for (size_t j = 0; j < fired; ++j) {
        const RuleOutcomes::Entry& rule = table->At(static_cast<size_t>(firedScratch[j]));
        const int c = rule.category;
        if (first < 0) first = c;
        if (static_cast<size_t>(c) >= categories) continue;
        const double before = ruleSetScores[static_cast<size_t>(c)];
        ruleSetScores[static_cast<size_t>(c)] += rule.weight;
        if (scoreSince[static_cast<size_t>(c)] < 0 || !(ruleSetScores[static_cast<size_t>(c)] == before)) {
          scoreSince[static_cast<size_t>(c)] = static_cast<int32_t>(j);
        }
      }
      int chosen = -1;
      double bestSum = 0.0;
      for (size_t c = 0; c < categories; ++c) {
        if (scoreSince[c] < 0) continue;
        const double sum = ruleSetScores[c];
        const bool better =
            chosen < 0 || sum > bestSum ||
            (sum == bestSum && scoreSince[c] < scoreSince[static_cast<size_t>(chosen)]) ||
            (std::isnan(bestSum) && !std::isnan(sum));
        if (better) {
          chosen = static_cast<int>(c);
          bestSum = sum;
        }
      }
      category = chosen >= 0 ? chosen : first;
      if (!costMatrix.empty() && static_cast<size_t>(category) < ruleSetScores.size()) {
        confidence = ruleSetScores[static_cast<size_t>(category)];
        ComputeXMiscClassCost(ruleSetScores, category, confidence);
      }
      const double sum = static_cast<size_t>(category) < ruleSetScores.size()
                             ? ruleSetScores[static_cast<size_t>(category)]
                             : 0.0;
      confidence = sum / static_cast<double>(fired);
      // The first fired rule that predicts the chosen category; none when
      // the cost decision chose a category no fired rule predicts.
      for (size_t j = 0; j < fired; ++j) {
        if (table->At(static_cast<size_t>(firedScratch[j])).category == category) {
          winningRule = table->Id(static_cast<size_t>(firedScratch[j]));
          break;
        }
      }
      break;
    }
    default:
      // A method code the scoring does not know chooses nothing: the
      // defaults stand (the fired rules are still reported).
      category = defaultCategory;
      confidence = defaultConf;
      break;
  }
}

void RuleSetModel::RuleSetDefault(size_t m, int& category, double& confidence) const {
  // A default score that names no category predicts nothing, with the
  // default confidence; under pmml a rule set without a default score has
  // neither prediction nor confidence (-1).
  const int32_t defaultIndex = m < defaultScoreIndex.size() ? defaultScoreIndex[m] : 0;
  category = defaultIndex < 0 ? -1 : RuleOutcomes::CategoryOf(defaultIndex, numbOfCategories);
  confidence = m < defaultConfidence.size() ? defaultConfidence[m] : 0.0;
  if (defaultIndex < 0 && semantics == pmml && m < defaultScore.size() && defaultScore[m].empty()) {
    confidence = -1.0;
  }
}

bool RuleSetModel::ComputeXMiscClassCost(const std::vector<double>& weights, int& category,
                                         double& confidence) const {
  const size_t n = numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0;
  if (costMatrix.size() != n) return false;
  // A table or a weight list shorter than the categories cannot be applied.
  if (weights.size() < n) return false;
  for (const std::vector<double>& row : costMatrix) {
    if (row.size() < n) return false;
  }
  // Row i holds the costs of choosing category i, one per true category j,
  // each weighted by the evidence for j; the lowest expected cost wins and a
  // tie keeps the lower index.
  double lowest = -NumericValue::GetSysmisValue();
  int choice = -1;
  for (size_t i = 0; i < n; ++i) {
    double cost = 0.0;
    for (size_t j = 0; j < n; ++j) {
      if (j != i) cost += costMatrix[i][j] * weights[j];
    }
    if (cost < lowest) {
      lowest = cost;
      choice = static_cast<int>(i);
    }
  }
  if (choice >= 0 && static_cast<size_t>(choice) < n && choice != category) {
    category = choice;
    confidence = weights[static_cast<size_t>(choice)];
  }
  return true;
}

void RuleSetModel::PickupMaxWeightedOfCate(const std::vector<double>& weights, int& category,
                                           double& bestWeight) const {
  if (weights.empty()) return;
  bestWeight = weights[0];
  category = 0;
  for (size_t k = 1; k < weights.size(); ++k) {
    if (weights[k] > bestWeight) {
      bestWeight = weights[k];
      category = static_cast<int>(k);
    }
  }
}

void RuleSetModel::GetRuleSetScoreResult(const std::vector<double>& weights, int& category,
                                         double& bestWeight) const {
  if (numbOfModels < 2 || modelType == kDecisionListModel) return;
  PickupMaxWeightedOfCate(weights, category, bestWeight);
  ComputeXMiscClassCost(weights, category, bestWeight);
}

}  // namespace KtZembra_940
