#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/core/Delegate.h"

namespace Umbra {
namespace {

// Records which handler ran with which argument; each handler answers as configured.
struct Observer {
  bool First(void* param) { return Record("first", param); }
  bool Second(void* param) { return Record("second", param); }
  bool Third(void* param) { return Record("third", param); }

  bool Record(const char* name, void* param) {
    calls.push_back(std::string(name) + ":" + *static_cast<std::string*>(param) + ":" + label);
    return answer;
  }

  std::string label;
  bool answer = true;
  std::vector<std::string> calls;
};

TEST(Delegate, EqualWhenSameObjectAndSameFunction) {
  Observer a, b;
  const auto base = MakeDelegate(&a, &Observer::First);
  const struct {
    CDelegate<Observer> other;
    bool equal;
  } cases[] = {
      {MakeDelegate(&a, &Observer::First), true},
      {MakeDelegate(&b, &Observer::First), false},
      {MakeDelegate(&a, &Observer::Second), false},
  };
  for (const auto& c : cases) EXPECT_EQ(base == c.other, c.equal);

  CDelegateBase* clone = base.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_TRUE(*clone == base);
  std::string arg = "x";
  EXPECT_TRUE(clone->Invoke(&arg));
  EXPECT_EQ(a.calls, (std::vector<std::string>{"first:x:"}));
  delete clone;
}

TEST(HandlerList, AddsEachHandlerOnce) {
  Observer a, b;
  a.label = "a";
  b.label = "b";
  CHandlerList list;
  EXPECT_FALSE(list.IsSet());
  EXPECT_TRUE(list.Add(MakeDelegate(&a, &Observer::First)));
  EXPECT_TRUE(list.Add(MakeDelegate(&a, &Observer::First)));
  list += MakeDelegate(&b, &Observer::First);
  list += MakeDelegate(&a, &Observer::Second);
  list += MakeDelegate(&a, &Observer::First);
  EXPECT_TRUE(list.IsSet());

  std::string arg = "go";
  EXPECT_TRUE(list.Invoke(&arg));
  EXPECT_EQ(a.calls, (std::vector<std::string>{"first:go:a", "second:go:a"}));
  EXPECT_EQ(b.calls, (std::vector<std::string>{"first:go:b"}));
}

TEST(HandlerList, StopsAtFirstHandlerReturningFalse) {
  Observer yes, no;
  no.answer = false;
  CHandlerList list;
  list.Add(MakeDelegate(&yes, &Observer::First));
  list.Add(MakeDelegate(&no, &Observer::Second));
  list.Add(MakeDelegate(&yes, &Observer::Third));
  std::string arg = "n";
  EXPECT_FALSE(list.Invoke(&arg));
  EXPECT_EQ(yes.calls, (std::vector<std::string>{"first:n:"}));
  EXPECT_EQ(no.calls, (std::vector<std::string>{"second:n:"}));

  CHandlerList empty;
  EXPECT_TRUE(empty.Invoke(&arg));
}

}  // namespace
}  // namespace Umbra
