// Template variables: the singly linked ElementList and its lookups.
#include <cassert>
#include <utility>

#include "quib/template.h"

// A new integer Element in front of next; returns the new head.
ElementList intelem(std::string_view name, int32_t value, ElementList next) {
  auto element = std::make_unique<Element>();
  element->name = name;
  element->kind = kElementInt;
  element->number = value;
  element->next = std::move(next);
  return element;
}

// A new text Element in front of next; the text stays the caller's.
ElementList strelem(std::string_view name, std::string_view text, ElementList next) {
  auto element = std::make_unique<Element>();
  element->name = name;
  element->kind = kElementText;
  element->text = text;
  element->next = std::move(next);
  return element;
}

// Lookup from the head: the first Element with an equal name hides later ones.
// A page's lists are long and most names differ from the one looked for in
// their length or their first character, so the full comparison runs only
// for names that agree in both.
const Element* getElement(const Element* list, std::string_view name) {
  for (const Element* element = list; element != nullptr; element = element->next.get()) {
    const std::string_view candidate = element->name;
    if (candidate.size() != name.size()) continue;
    if (!name.empty() && candidate.front() != name.front()) continue;
    if (candidate == name) return element;
  }
  return nullptr;
}

Element* getLastElem(Element* list) {
  assert(list != nullptr);
  while (list->next) list = list->next.get();
  return list;
}

// Releases the nodes one by one, so a long list cannot exhaust the stack
// through the nested destructors of the chain.
void disposeElems(ElementList list) {
  while (list) list = std::move(list->next);
}
