// Template variables: building, looking up and releasing Element lists.
#include <gtest/gtest.h>

#include <string>

#include "quib/quib.h"

TEST(Elements, ConstructorsPutTheNewElementInFront) {
  ElementList list = strelem("title", "Web Timer", intelem("count", -7, nullptr));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->name, "title");
  EXPECT_EQ(list->kind, kElementText);
  EXPECT_EQ(list->text, "Web Timer");
  ASSERT_NE(list->next, nullptr);
  EXPECT_EQ(list->next->name, "count");
  EXPECT_EQ(list->next->kind, kElementInt);
  EXPECT_EQ(list->next->number, -7);
  EXPECT_EQ(list->next->next, nullptr);
}

TEST(Elements, LookupFindsTheElementNearestTheHead) {
  ElementList list = intelem("a", 1, intelem("b", 2, intelem("a", 3, nullptr)));
  const Element* found = getElement(list.get(), "a");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->number, 1);
  EXPECT_EQ(getElement(list.get(), "b")->number, 2);
  EXPECT_EQ(getElement(list.get(), "c"), nullptr);
  EXPECT_EQ(getElement(list.get(), "A"), nullptr);   // case-sensitive
  EXPECT_EQ(getElement(list.get(), "a "), nullptr);  // whole name
  EXPECT_EQ(getElement(nullptr, "a"), nullptr);
}

// The renderers hang temporary Elements behind the tail and cut them off.
TEST(Elements, ChainHungBehindTheTailIsVisibleAndCanBeCutOff) {
  ElementList list = strelem("msg", "hello", strelem("shared", "page", nullptr));
  Element* last = getLastElem(list.get());
  EXPECT_EQ(last->name, "shared");
  EXPECT_EQ(getLastElem(last), last);

  last->next = intelem("channel", 5, strelem("shared", "option", nullptr));
  EXPECT_EQ(getElement(list.get(), "channel")->number, 5);
  EXPECT_EQ(getElement(list.get(), "shared")->text, "page");  // hidden behind the page's
  EXPECT_EQ(getLastElem(list.get())->text, "option");

  disposeElems(std::move(last->next));
  EXPECT_EQ(last->next, nullptr);
  EXPECT_EQ(getElement(list.get(), "channel"), nullptr);
  EXPECT_EQ(getLastElem(list.get()), last);
}

TEST(Elements, DisposeLeavesBorrowedNamesAndTextsUntouched) {
  const std::string names[] = {"first", "second", "third"};
  const std::string texts[] = {"one", "two", "three"};
  ElementList list = strelem(names[0], texts[0],
                             strelem(names[1], texts[1], strelem(names[2], texts[2], nullptr)));
  disposeElems(std::move(list));
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(names[0], "first");
  EXPECT_EQ(names[2], "third");
  EXPECT_EQ(texts[1], "two");
  disposeElems(nullptr);  // the empty list
}

// Releasing must not recurse once per node: a long list would exhaust the stack.
TEST(Elements, DisposeReleasesAVeryLongList) {
  ElementList list;
  for (int i = 0; i < 1000000; ++i) list = intelem("n", i, std::move(list));
  EXPECT_EQ(getLastElem(list.get())->number, 0);
  disposeElems(std::move(list));
}
