// Split variables of a rule's predicate: the walk over compound predicates,
// the choice of builder by measurement level, and the numeric range of a
// continuous field.

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/util/XMLString.hpp>

#include "host/ErrorCodes.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/Range.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ZbException.h"
#include "plugin/RuleSetTranslator.h"
#include "translator/FieldPredicates.h"

namespace KtZembra_940 {

namespace {

// A small set of field names: a compound mostly has a handful of members,
// for which a list is cheaper than a hash table; past that the table keeps
// each look-up constant.
class FieldNameSet {
 public:
  bool Contains(const std::string& name) const {
    if (!many_.empty()) return many_.count(name) != 0;
    for (const std::string& known : few_) {
      if (known == name) return true;
    }
    return false;
  }
  void Insert(std::string name) {
    if (Contains(name)) return;
    if (many_.empty() && few_.size() < kFew) {
      few_.push_back(std::move(name));
      return;
    }
    if (many_.empty()) {
      for (std::string& known : few_) many_.insert(std::move(known));
      few_.clear();
    }
    many_.insert(std::move(name));
  }

 private:
  static constexpr size_t kFew = 16;
  std::vector<std::string> few_;
  std::unordered_set<std::string> many_;
};

// One CompoundPredicate being walked. The walk keeps these on an explicit
// stack so that a deeply nested document cannot exhaust the C++ stack.
struct CompoundFrame {
  explicit CompoundFrame(const xercesc::DOMElement* element)
      : compound(element), next(BaseTranslator::GetFirstChildElt(element)) {}

  const xercesc::DOMElement* compound;
  const xercesc::DOMElement* next;  // next child to look at; null at the end
  // Fields whose split is already built from a direct child of `compound`.
  FieldNameSet fields;
  int count = 0;  // SimplePredicate, CompoundPredicate, SimpleSetPredicate children
  bool simpleHandled = false;
  // The SimplePredicate children of `compound` grouped by field text, each
  // group in document order, with the field text of each position; made
  // when the first of them is met.
  std::vector<std::u16string_view> fieldOf;
  std::vector<const xercesc::DOMElement*> byField;
  bool indexed = false;
};

// Indexes the SimplePredicate children of a compound by field. The host's
// predicate parser has read the whole compound already, so every one of
// them has its field.
void IndexByField(CompoundFrame& frame) {
  std::vector<std::pair<std::u16string_view, const xercesc::DOMElement*>> children;
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(frame.compound);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!BaseTranslator::IsEqual(child->getTagName(), XML_ELE_PREDICATE)) continue;
    children.emplace_back(BaseTranslator::GetAttributeForced(child, XML_ATT_FIELD), child);
  }
  // Stable: within a field the document order stays.
  std::stable_sort(children.begin(), children.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  frame.fieldOf.reserve(children.size());
  frame.byField.reserve(children.size());
  for (const auto& [field, child] : children) {
    frame.fieldOf.push_back(field);
    frame.byField.push_back(child);
  }
  frame.indexed = true;
}

// The SimplePredicate children of the frame's compound on that field.
std::pair<const xercesc::DOMElement* const*, const xercesc::DOMElement* const*> ChildrenOnField(
    const CompoundFrame& frame, std::u16string_view field) {
  const auto range = std::equal_range(frame.fieldOf.begin(), frame.fieldOf.end(), field);
  const xercesc::DOMElement* const* base = frame.byField.data();
  return {base + (range.first - frame.fieldOf.begin()),
          base + (range.second - frame.fieldOf.begin())};
}

// The values one predicate on a continuous field holds.
struct Interval {
  double low;
  double high;
  bool lowClosed;
  bool highClosed;
};

// The union of `pieces` as disjoint intervals in increasing order: two that
// overlap, or meet at a bound one of them holds, become one.
std::vector<Interval> UniteIntervals(std::vector<Interval> pieces) {
  std::sort(pieces.begin(), pieces.end(), [](const Interval& a, const Interval& b) {
    if (a.low != b.low) return a.low < b.low;
    return a.lowClosed && !b.lowClosed;
  });
  std::vector<Interval> united;
  for (const Interval& piece : pieces) {
    if (!united.empty()) {
      Interval& last = united.back();
      const bool joins = piece.low < last.high ||
                         (piece.low == last.high && (last.highClosed || piece.lowClosed));
      if (joins) {
        if (piece.high > last.high) {
          last.high = piece.high;
          last.highClosed = piece.highClosed;
        } else if (piece.high == last.high) {
          last.highClosed = last.highClosed || piece.highClosed;
        }
        continue;
      }
    }
    united.push_back(piece);
  }
  return united;
}

// Closes one compound: it must have held at least `least` predicates.
void CheckPredicateCount(const CompoundFrame& frame, int least) {
  if (frame.count < least) {
    ThrowZb(ErrorCode::kTooFewPredicates, XML_ELE_PREDICATE, frame.compound->getTagName());
  }
}

}  // namespace

bool RuleSetTranslator::ParseCompoundSplits(const xercesc::DOMElement* compound,
                                            SplitList& splits) {
  if (compound == nullptr) return false;
  std::vector<CompoundFrame> stack;
  stack.emplace_back(compound);
  bool success = true;
  // Natively a compound needs two predicates besides True and False; PMML
  // counts those too, and a single member stands for itself.
  const bool pmml = semantics == RuleSetModel::pmml;
  const int least = pmml ? 1 : 2;

  while (!stack.empty()) {
    CompoundFrame& frame = stack.back();
    if (!success || frame.next == nullptr) {
      // A failure below still reports a compound with too few predicates,
      // innermost first, as a recursive walk would on its way out.
      CheckPredicateCount(frame, least);
      stack.pop_back();
      continue;
    }
    const xercesc::DOMElement* child = frame.next;
    frame.next = GetNextSiblingElt(child);
    const XMLCh* tag = child->getTagName();

    if (IsEqual(tag, XML_ELE_PREDICATE)) {
      ++frame.count;
      const XMLCh* field = GetAttribute(child, XML_ATT_FIELD);
      std::string name = Transcoder().transcodeTo(field);
      // The first simple predicate is handled whatever the field set holds,
      // so a set predicate followed by a simple one on the same field gives
      // two splits.
      if (!frame.simpleHandled || !frame.fields.Contains(name)) {
        if (!frame.indexed) IndexByField(frame);
        PredicateSpan run{nullptr, nullptr};
        const PredicateSpan* onField = nullptr;
        if (field != nullptr) {
          const auto [first, last] = ChildrenOnField(frame, field);
          run = PredicateSpan{first, last};
          if (run.first != run.last) onField = &run;
        }
        success = ParsePredicateSplit(field, frame.compound, static_cast<int>(splits.size()),
                                      splits, onField);
        frame.simpleHandled = true;
        frame.fields.Insert(std::move(name));
      }
    } else if (IsEqual(tag, XML_ELE_COMPOUNDPREDICATE)) {
      ++frame.count;
      if (static_cast<int>(stack.size()) >= kMaxPredicateDepth) {
        ThrowZb(ErrorCode::kNestingTooDeep, XML_ELE_COMPOUNDPREDICATE, kMaxPredicateDepth);
      }
      // `frame` is not used after this: the push may move the frames.
      stack.emplace_back(child);
    } else if (IsEqual(tag, XML_ELE_SETPREDICATE)) {
      ++frame.count;
      const XMLCh* field = GetAttribute(child, XML_ATT_FIELD);
      std::string name = Transcoder().transcodeTo(field);
      if (frame.fields.Contains(name)) {
        ThrowZb(ErrorCode::kSecondPredicate, name, XML_ELE_RULESET_RULE);
      }
      success = ParseSetPredicateSplit(field, child, static_cast<int>(splits.size()), splits);
      frame.fields.Insert(std::move(name));
    } else if (pmml && (IsEqual(tag, XML_ELE_TRUE) || IsEqual(tag, XML_ELE_FALSE))) {
      ++frame.count;
    }
    // Anything else (natively True and False too) is not counted.
  }
  return success;
}

FieldPredicates::FieldPredicates(const xercesc::DOMElement* parent, const XMLCh* fieldName,
                                 const xercesc::DOMElement* const* first,
                                 const xercesc::DOMElement* const* last, bool listed)
    : fieldName_(fieldName),
      listed_(listed),
      position_(first),
      last_(last),
      next_(listed ? nullptr : BaseTranslator::GetFirstChildElt(parent)) {}

const xercesc::DOMElement* FieldPredicates::Next() {
  if (listed_) return position_ != last_ ? *position_++ : nullptr;
  while (next_ != nullptr) {
    const xercesc::DOMElement* child = next_;
    next_ = BaseTranslator::GetNextSiblingElt(child);
    if (!BaseTranslator::IsEqual(child->getTagName(), XML_ELE_PREDICATE)) continue;
    if (xercesc::XMLString::compareString(
            BaseTranslator::GetAttributeForced(child, XML_ATT_FIELD), fieldName_) == 0) {
      return child;
    }
  }
  return nullptr;
}

bool RuleSetTranslator::ParsePredicateSplit(const XMLCh* fieldName,
                                            const xercesc::DOMElement* parent, int splitIndex,
                                            SplitList& splits,
                                            const PredicateSpan* fieldPredicates) {
  std::string name = Transcoder().transcodeTo(fieldName);
  if (name.empty() || dictionary == nullptr || parent == nullptr) return false;
  const ScoreDictVar* var = FindField(name);
  if (var == nullptr) return false;
  // A numeric field that declares no values has no categories to choose
  // from: its predicates compare numbers, as for a continuous field.
  const bool numbersOnly = var->GetValueType() == ScoreDictVar::kNumeric &&
                           var->GetNumberOfCategories() == 0 && !var->IsBoolean();
  switch (numbersOnly ? static_cast<int>(ScoreDictVar::kContinuous) : var->GetMeasureLevel()) {
    case ScoreDictVar::kContinuous:
      BuildScaleSplit(splits, parent, var, splitIndex, fieldName, fieldPredicates);
      return true;
    case ScoreDictVar::kOrdinal:
      // PMML orders a numeric ordinal field without a Value list by its
      // numbers.
      if (semantics == RuleSetModel::pmml && var->GetValueType() == ScoreDictVar::kNumeric &&
          var->GetNumberOfCategories() == 0) {
        BuildScaleSplit(splits, parent, var, splitIndex, fieldName, fieldPredicates);
        return true;
      }
      BuildDiscreteSplit(splits, parent, var, splitIndex, fieldName, fieldPredicates);
      return true;
    case ScoreDictVar::kNominal:
      BuildDiscreteSplit(splits, parent, var, splitIndex, fieldName, fieldPredicates);
      return true;
    default:
      return false;
  }
}

void RuleSetTranslator::BuildScaleSplit(SplitList& splits, const xercesc::DOMElement* parent,
                                        const ScoreDictVar* var, int splitIndex,
                                        const XMLCh* fieldName,
                                        const PredicateSpan* fieldPredicates) {
  auto split = std::make_unique<ScaleSplit>(var);
  const double infinity = NumericValue::GetInfinity();
  double lo = -infinity;
  double hi = infinity;
  bool loClosed = false;
  bool hiClosed = false;
  // Under and the predicates on the field narrow one range. Under or and
  // xor each one adds the values it holds: the summary is their union, a
  // list of ranges.
  const XMLCh* booleanOperator = GetAttribute(parent, XML_ATT_BOOLEANOPERATOR);
  const bool isOr = IsEqual(booleanOperator, XML_VAL_OR) || IsEqual(booleanOperator, XML_VAL_XOR);
  std::vector<Interval> pieces;

  FieldPredicates predicates(parent, fieldName, fieldPredicates);
  while (const xercesc::DOMElement* predicate = predicates.Next()) {
    const XMLCh* op = GetAttributeForced(predicate, XML_ATT_OPERATOR);
    // An absent value is allowed here: isMissing and isNotMissing carry none.
    const XMLCh* value = GetAttribute(predicate, XML_ATT_VALUE);
    const bool isMissing = IsEqual(op, XML_VAL_OPERATOR_ISMISSING);
    const bool isNotMissing = IsEqual(op, XML_VAL_OPERATOR_ISNOTMISSING);

    if (value != nullptr && isMissing) {
      ThrowZb(ErrorCode::kValueNotAllowed, XML_ATT_VALUE, XML_VAL_OPERATOR_ISMISSING);
    }
    if (value != nullptr && isNotMissing) {
      ThrowZb(ErrorCode::kValueNotAllowed, XML_ATT_VALUE, XML_VAL_OPERATOR_ISNOTMISSING);
    }
    const bool emptyValue = value != nullptr && value[0] == 0;
    if (isMissing || emptyValue) {
      if (emptyValue && !IsEqual(op, XML_VAL_OPERATOR_EQUAL)) {
        ThrowZb(ErrorCode::kEmptyValue, XML_ATT_OPERATOR, XML_VAL_OPERATOR_EQUAL);
      }
      split->SetMissvalMap(splitIndex);
      continue;
    }
    if (isNotMissing && isOr) {
      pieces.push_back(Interval{-infinity, infinity, false, false});
      continue;
    }
    if (isNotMissing) {
      // isNotMissing closes the split with the bounds reached so far, open
      // at both ends; later predicates on the field are not looked at.
      auto low = std::make_unique<NumericValue>(lo);
      auto high = std::make_unique<NumericValue>(hi);
      auto range = std::make_unique<Range>(low.release(), high.release(), false, false);
      split->PutSplit(range.release(), splitIndex);
      split->SetMissvalMap(-2);
      splits.push_back(split.get());
      split.release();
      return;
    }
    if (value == nullptr) {
      // A comparison needs a value; name what is missing rather than
      // failing on an empty number.
      ThrowZb(ErrorCode::kMissingAttribute, predicate->getTagName(), XML_ATT_VALUE);
    }

    double newLo = 0.0;
    double newHi = 0.0;
    bool closed = false;
    GetPredicateBounds(value, op, newLo, newHi, closed);
    if (isOr) {
      if (newLo == newHi && !closed) {
        // notEqual: everything but the point.
        pieces.push_back(Interval{-infinity, newLo, false, false});
        pieces.push_back(Interval{newHi, infinity, false, false});
      } else {
        pieces.push_back(Interval{newLo, newHi, closed && newLo != -infinity,
                                  closed && newHi != infinity});
      }
      continue;
    }
    // notEqual excludes a single point, which one range cannot express: the
    // range stays as it is.
    if (newLo == newHi && !closed && newLo != infinity && newHi != -infinity) continue;
    // Strict comparisons: of two predicates reaching the same bound, the
    // first one's closedness stays.
    if (newLo > lo) {
      lo = newLo;
      loClosed = closed;
    }
    if (newHi < hi) {
      hi = newHi;
      hiClosed = closed;
    }
  }

  if (isOr && !pieces.empty()) {
    for (const Interval& piece : UniteIntervals(std::move(pieces))) {
      auto low = std::make_unique<NumericValue>(piece.low);
      auto high = std::make_unique<NumericValue>(piece.high);
      auto range =
          std::make_unique<Range>(low.release(), high.release(), piece.lowClosed, piece.highClosed);
      split->PutSplit(range.release(), splitIndex);
    }
    splits.push_back(split.get());
    split.release();
    return;
  }
  if (!isOr && lo > hi && semantics != RuleSetModel::pmml) {
    ThrowZb(ErrorCode::kEmptySelection, var->GetName());
  }
  auto low = std::make_unique<NumericValue>(lo);
  auto high = std::make_unique<NumericValue>(hi);
  auto range = std::make_unique<Range>(low.release(), high.release(), loClosed, hiClosed);
  split->PutSplit(range.release(), splitIndex);
  splits.push_back(split.get());
  split.release();
}

void RuleSetTranslator::GetPredicateBounds(const XMLCh* valueText, const XMLCh* operatorText,
                                           double& low, double& high, bool& closed) {
  const double value = VerifyDouble(valueText);
  const double infinity = NumericValue::GetInfinity();
  low = -infinity;
  high = infinity;
  if (IsEqual(operatorText, u"greaterThan")) {
    low = value;
    closed = false;
  } else if (IsEqual(operatorText, u"greaterOrEqual")) {
    low = value;
    closed = true;
  } else if (IsEqual(operatorText, u"lessThan")) {
    high = value;
    closed = false;
  } else if (IsEqual(operatorText, u"lessOrEqual")) {
    high = value;
    closed = true;
  } else if (IsEqual(operatorText, u"equal")) {
    low = value;
    high = value;
    closed = true;
  } else if (IsEqual(operatorText, u"notEqual")) {
    low = value;
    high = value;
    closed = false;
  } else {
    ThrowZb(ErrorCode::kUnsupported, ToString(operatorText), XML_ATT_OPERATOR, XML_ELE_PREDICATE);
  }
}

}  // namespace KtZembra_940
