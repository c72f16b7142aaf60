// Reaches what the rule-set translator keeps to itself: the target it read,
// and its compound walk (to check the walk's own nesting bound apart from the
// host's predicate parser).
#ifndef RULESCORE_TESTS_SUPPORT_TRANSLATORPEER_H_
#define RULESCORE_TESTS_SUPPORT_TRANSLATORPEER_H_

#include <string>

#include <xercesc/dom/DOMElement.hpp>

#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

class RuleSetTranslatorTestPeer {
 public:
  static const std::string& TargetName(const RuleSetTranslator& t) { return t.targetName; }
  static const ScoreDictVar* TargetVariable(const RuleSetTranslator& t) { return t.targetVariable; }
  static void SetDictionary(RuleSetTranslator& translator, ScoreDictionary* dictionary) {
    translator.dictionary = dictionary;
  }
  static bool ParseCompoundSplits(RuleSetTranslator& translator, const xercesc::DOMElement* compound,
                                  RuleSetTranslator::SplitList& splits) {
    return translator.ParseCompoundSplits(compound, splits);
  }
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_TRANSLATORPEER_H_
