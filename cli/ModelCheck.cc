#include "cli/ModelCheck.h"

#include "cli/RecordScorer.h"
#include "host/NumberText.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"

namespace rulescore {
namespace cli {

namespace K = KtZembra_940;

namespace {

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += ", ";
    out += names[i];
  }
  return out;
}

std::string RuleName(const RuleOutline& rule, size_t position) {
  if (!rule.id.empty()) return "rule " + rule.id;
  // Named as the plug-in names it: by its 1-based position in its rule set.
  return "rule #" + std::to_string(position + 1);
}

}  // namespace

ModelCheck::ModelCheck(const K::ScoreModel& model, const ModelOutline& outline)
    : model_(model), outline_(outline) {
  const K::ScoreDictVar* target = model_.GetTargetVar();
  if (target != nullptr) {
    numericTarget_ = target->GetValueType() == K::ScoreDictVar::kNumeric;
    const std::vector<K::ScoreValue*>* labels = target->GetValueLabelSet();
    if (labels != nullptr) {
      for (const K::ScoreValue* label : *labels) {
        if (label == nullptr) continue;
        categories_.push_back(target->IsBoolean() ? (label->GetDouble() != 0.0 ? "true" : "false")
                                                  : label->GetString());
        numbers_.push_back(label->GetDouble());
      }
    }
  }
  const std::vector<RuleSetOutline>& ruleSets = outline_.GetRuleSets();
  if (categories_.empty()) {
    // The engine then predicts the scores themselves: each rule set's rule
    // scores and its default score, in document order, each once.
    categoriesFromScores_ = true;
    auto add = [this, target](const std::string& score) {
      double number = 0.0;
      if (numericTarget_ && !target->ParseNumber(score, &number)) return;
      for (size_t i = 0; i < categories_.size(); ++i) {
        if (numericTarget_ ? numbers_[i] == number : categories_[i] == score) return;
      }
      categories_.push_back(numericTarget_ && target->IsBoolean()
                                ? std::string(number != 0.0 ? "true" : "false")
                                : score);
      numbers_.push_back(number);
    };
    for (const RuleSetOutline& set : ruleSets) {
      for (const RuleOutline& rule : set.rules) add(rule.score);
      if (set.hasDefaultScore && !set.defaultScore.empty()) add(set.defaultScore);
    }
  }

  for (size_t s = 0; s < ruleSets.size(); ++s) {
    const RuleSetOutline& set = ruleSets[s];
    const std::string where = "rule set " + std::to_string(s + 1) + ": ";
    const bool checkScores = !categories_.empty();
    if (checkScores && set.hasDefaultScore && !NamesCategory(set.defaultScore)) {
      warnings_.push_back(where + "default score " + QuoteForMessage(set.defaultScore) +
                          " names no target category");
    }
    for (size_t r = 0; r < set.rules.size(); ++r) {
      const RuleOutline& rule = set.rules[r];
      if (checkScores && !NamesCategory(rule.score)) {
        warnings_.push_back(where + RuleName(rule, r) + ": score " + QuoteForMessage(rule.score) +
                            " names no target category");
      }
      if (rule.disabled) {
        warnings_.push_back(where + RuleName(rule, r) +
                            " is marked disabled; it is scored like any other rule");
      }
    }
  }
}

bool ModelCheck::NamesCategory(const std::string& score) const {
  if (!numericTarget_) {
    for (const std::string& category : categories_) {
      if (category == score) return true;
    }
    return false;
  }
  double value;
  const K::ScoreDictVar* target = model_.GetTargetVar();
  if (target == nullptr || !target->ParseNumber(score, &value)) return false;
  for (const double number : numbers_) {
    if (number == value) return true;
  }
  return false;
}

std::string ModelCheck::Report(const std::string& modelPath) const {
  std::string out = "model: " + modelPath + "\n";
  out += "type: ";
  out += model_.GetModelType() == K::ScoreModel::kDecisionListModel ? "decision list" : "rule set";
  out += "\n";
  const std::vector<RuleSetOutline>& ruleSets = outline_.GetRuleSets();
  out += "rule sets: " + std::to_string(ruleSets.size()) + "\n";
  for (size_t s = 0; s < ruleSets.size(); ++s) {
    const RuleSetOutline& set = ruleSets[s];
    out += "  rule set " + std::to_string(s + 1) + ": " + std::to_string(set.rules.size()) +
           (set.rules.size() == 1 ? " rule" : " rules") + ", selection method ";
    out += set.criterion.empty() ? std::string("firstHit (none given)") : set.criterion;
    out += "\n";
  }
  const K::ScoreDictVar* target = model_.GetTargetVar();
  if (target == nullptr) {
    out += "target: none";
  } else {
    const char* type = target->IsBoolean() ? "boolean" : numericTarget_ ? "numeric" : "string";
    out += "target: " + target->Name() + " (" + type + ")";
  }
  out += ", " + std::to_string(categories_.size()) +
         (categories_.size() == 1 ? " category" : " categories");
  if (categoriesFromScores_ && !categories_.empty()) out += " from the rule scores";
  if (!categories_.empty()) out += ": " + JoinNames(categories_);
  out += "\n";
  out += "predictors: " +
         (outline_.GetPredictors().empty() ? std::string("none") : JoinNames(outline_.GetPredictors())) +
         "\n";
  if (!outline_.GetDerivedFields().empty()) {
    out += "derived fields:";
    const std::vector<DerivedFieldOutline>& derived = outline_.GetDerivedFields();
    for (size_t i = 0; i < derived.size(); ++i) {
      out += (i == 0 ? " " : ", ") + derived[i].name + " (" + derived[i].kind + ")";
    }
    out += "\n";
  }
  out += "cost matrix: ";
  if (!outline_.HasCostTable()) {
    out += "none";
  } else if (model_.GetModelType() == K::ScoreModel::kDecisionListModel) {
    out += "present, not used by a decision list";
  } else {
    out += "present";
  }
  out += "\n";
  if (warnings_.empty()) {
    out += "warnings: none\n";
  } else {
    for (const std::string& warning : warnings_) out += "warning: " + warning + "\n";
  }
  return out;
}

}  // namespace cli
}  // namespace rulescore
