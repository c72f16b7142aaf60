#include "translator/ElementIndex.h"

#include <algorithm>
#include <utility>

#include "host/XmlText.h"

namespace KtZembra_940 {

namespace {

// Names remembered by pointer; a document with more distinct names than
// this has the rest compared each time, which keeps one element's cost
// bounded whatever the document holds.
constexpr size_t kRememberedNames = 64;

}  // namespace

ElementIndex::ElementIndex(const xercesc::DOMNode* scope, std::initializer_list<const XMLCh*> tags)
    : scope_(scope), tags_(tags), entries_(tags_.size()) {
  if (scope == nullptr) return;
  // The open nodes between the scope and the current node, with the entry
  // each one made (tag -1: none), so that a subtree's end is noted when the
  // walk leaves it. The walk reads only child and sibling links.
  struct Open {
    const xercesc::DOMNode* node;
    int tag;
    size_t position;
  };
  std::vector<Open> open;
  size_t number = 0;
  const xercesc::DOMNode* node = scope->getFirstChild();
  while (node != nullptr) {
    int tag = -1;
    size_t position = 0;
    if (node->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) {
      const auto* element = static_cast<const xercesc::DOMElement*>(node);
      tag = TagOf(element->getTagName());
      if (tag >= 0) {
        std::vector<Entry>& list = entries_[static_cast<size_t>(tag)];
        position = list.size();
        list.push_back(Entry{element, number, 0});
      }
      ++number;
    }
    if (const xercesc::DOMNode* child = node->getFirstChild()) {
      open.push_back(Open{node, tag, position});
      node = child;
      continue;
    }
    if (tag >= 0) entries_[static_cast<size_t>(tag)][position].end = number;
    const xercesc::DOMNode* next = node->getNextSibling();
    while (next == nullptr && !open.empty()) {
      const Open up = open.back();
      open.pop_back();
      if (up.tag >= 0) entries_[static_cast<size_t>(up.tag)][up.position].end = number;
      next = up.node->getNextSibling();
    }
    node = next;
  }
}

int ElementIndex::TagOf(const XMLCh* name) {
  for (const auto& [seen, tag] : seenNames_) {
    if (seen == name) return tag;
  }
  int found = -1;
  for (size_t k = 0; k < tags_.size(); ++k) {
    if (XmlText::Equal(name, tags_[k])) {
      found = static_cast<int>(k);
      break;
    }
  }
  if (seenNames_.size() < kRememberedNames) seenNames_.emplace_back(name, found);
  return found;
}

ElementIndex::Span ElementIndex::All(size_t tag) const {
  if (tag >= entries_.size()) return Span(nullptr, nullptr);
  const std::vector<Entry>& list = entries_[tag];
  return Span(list.data(), list.data() + list.size());
}

ElementIndex::Span ElementIndex::Within(const Entry& outer, size_t tag) const {
  const Span all = All(tag);
  if (all.empty()) return all;
  const Entry* first = std::upper_bound(
      all.begin(), all.end(), outer.begin,
      [](size_t number, const Entry& entry) { return number < entry.begin; });
  const Entry* last = std::lower_bound(
      first, all.end(), outer.end,
      [](const Entry& entry, size_t number) { return entry.begin < number; });
  return Span(first, last);
}

}  // namespace KtZembra_940
