// The elements of a few tags below one node, found in a single walk of the
// tree, with the extent of each one's subtree, so that the readers can ask
// for "every X in the document" and "every Y inside this X" without walking
// the document again for each question. The answers are those of
// getElementsByTagName: document order, any depth.
#ifndef RULESCORE_TRANSLATOR_ELEMENTINDEX_H_
#define RULESCORE_TRANSLATOR_ELEMENTINDEX_H_

#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

namespace KtZembra_940 {

class ElementIndex {
 public:
  // One element of a looked-for tag. Elements are numbered in document
  // order; `end` is the number after the last element of its subtree, so
  // the descendants of an entry are the elements numbered in (begin, end).
  struct Entry {
    const xercesc::DOMElement* element;
    size_t begin;
    size_t end;
  };

  // A run of entries of one tag, in document order.
  class Span {
   public:
    Span(const Entry* first, const Entry* last) : first_(first), last_(last) {}
    const Entry* begin() const { return first_; }
    const Entry* end() const { return last_; }
    size_t size() const { return static_cast<size_t>(last_ - first_); }
    bool empty() const { return first_ == last_; }
    const Entry& operator[](size_t i) const { return first_[i]; }

   private:
    const Entry* first_;
    const Entry* last_;
  };

  // Walks the tree below `scope` once. A document scope takes in every
  // element, the document element included; an element scope takes in its
  // descendants only, as the element's getElementsByTagName does. `tags`
  // are distinct, compared exactly and must outlive the index; tag k is
  // asked for by its position k.
  // REQUIRES: the tree is not changed while the index is in use.
  ElementIndex(const xercesc::DOMNode* scope, std::initializer_list<const XMLCh*> tags);
  ElementIndex(const ElementIndex&) = delete;
  ElementIndex& operator=(const ElementIndex&) = delete;

  const xercesc::DOMNode* Scope() const { return scope_; }
  // Every element of tag k in the scope.
  Span All(size_t tag) const;
  // The elements of tag k inside `outer`'s subtree, `outer` itself excluded.
  // `outer` is an entry of this index.
  Span Within(const Entry& outer, size_t tag) const;

 private:
  // The tag position of an element name, or -1.
  int TagOf(const XMLCh* name);

  const xercesc::DOMNode* scope_;
  std::vector<const XMLCh*> tags_;
  std::vector<std::vector<Entry>> entries_;  // per tag
  // Element names are pooled by the document, so most elements repeat the
  // pointer of an earlier one: the comparisons are done once per name.
  std::vector<std::pair<const XMLCh*, int>> seenNames_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TRANSLATOR_ELEMENTINDEX_H_
