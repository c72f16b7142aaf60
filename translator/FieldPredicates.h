// Walks the SimplePredicate children of one parent element that test one
// field, for the split builders.
#ifndef RULESCORE_TRANSLATOR_FIELDPREDICATES_H_
#define RULESCORE_TRANSLATOR_FIELDPREDICATES_H_

#include <cstddef>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

namespace KtZembra_940 {

// Yields the predicates in document order, either from a list made in
// advance (the compound walk indexes its children by field once) or by
// walking the parent's children, reading each SimplePredicate's field as a
// required attribute only when the walk reaches it.
// REQUIRES: parent, list and field text outlive the walker.
class FieldPredicates {
 public:
  FieldPredicates(const xercesc::DOMElement* parent, const XMLCh* fieldName,
                  const std::vector<const xercesc::DOMElement*>* list);
  FieldPredicates(const FieldPredicates&) = delete;
  FieldPredicates& operator=(const FieldPredicates&) = delete;

  // The next predicate on the field, or null at the end.
  const xercesc::DOMElement* Next();

 private:
  const XMLCh* fieldName_;
  const std::vector<const xercesc::DOMElement*>* list_;
  size_t position_ = 0;
  const xercesc::DOMElement* next_;  // next child to look at when walking
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TRANSLATOR_FIELDPREDICATES_H_
