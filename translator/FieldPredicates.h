// Walks the SimplePredicate children of one parent element that test one
// field, for the split builders.
#ifndef RULESCORE_TRANSLATOR_FIELDPREDICATES_H_
#define RULESCORE_TRANSLATOR_FIELDPREDICATES_H_


#include <xercesc/dom/DOMElement.hpp>

namespace KtZembra_940 {

// Yields the predicates in document order, either from a list made in
// advance (the compound walk indexes its children by field once) or by
// walking the parent's children, reading each SimplePredicate's field as a
// required attribute only when the walk reaches it.
// REQUIRES: parent, list and field text outlive the walker.
class FieldPredicates {
 public:
  // `list`, when not null, is the run [list->first, list->last).
  template <class Span>
  FieldPredicates(const xercesc::DOMElement* parent, const XMLCh* fieldName, const Span* list)
      : FieldPredicates(parent, fieldName, list != nullptr ? list->first : nullptr,
                        list != nullptr ? list->last : nullptr, list != nullptr) {}
  FieldPredicates(const FieldPredicates&) = delete;
  FieldPredicates& operator=(const FieldPredicates&) = delete;

  // The next predicate on the field, or null at the end.
  const xercesc::DOMElement* Next();

 private:
  FieldPredicates(const xercesc::DOMElement* parent, const XMLCh* fieldName,
                  const xercesc::DOMElement* const* first, const xercesc::DOMElement* const* last,
                  bool listed);

  const XMLCh* fieldName_;
  bool listed_;
  const xercesc::DOMElement* const* position_;  // next of the list
  const xercesc::DOMElement* const* last_;
  const xercesc::DOMElement* next_;  // next child to look at when walking
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TRANSLATOR_FIELDPREDICATES_H_
