// The listener list a sender calls while its listeners add and remove
// listeners from inside their calls.
#include "runtime/ListenerList.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using TList = TListenerList<int>;

struct TChangeCase {
  const char* what;
  int listeners;   // 1..listeners, in that order
  bool lastFirst;
  int actor;       // the listener that changes the list, in its first call only
  std::function<void(TList&)> change;
  std::vector<int> firstRound;
  std::vector<int> secondRound;
};

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

}  // namespace

TEST(ListenerList, ChangesMadeDuringARoundTakeEffectAtTheRightTime) {
  std::vector<int> upTo9 = Range(1, 9);
  const std::vector<TChangeCase> cases = {
      {"removes a later one", 3, false, 1, [](TList& l) { l.Remove(3); }, {1, 2}, {1, 2}},
      {"removes an earlier and a later one", 3, false, 2, [](TList& l) { l.Remove(1), l.Remove(3); },
       {1, 2}, {2}},
      {"removes itself", 3, false, 2, [](TList& l) { l.Remove(2); }, {1, 2, 3}, {1, 3}},
      {"adds one", 3, false, 1, [](TList& l) { l.Add(4); }, {1, 2, 3}, {1, 2, 3, 4}},
      {"removes a later one and adds it again", 3, false, 1, [](TList& l) { l.Remove(2), l.Add(2); },
       {1, 3}, {1, 3, 2}},
      {"last first: removes a later one", 3, true, 3, [](TList& l) { l.Remove(1); }, {3, 2}, {3, 2}},
      {"last first: adds one", 3, true, 2, [](TList& l) { l.Add(4); }, {3, 2, 1}, {4, 3, 2, 1}},
      {"the only one removes itself and adds another", 1, false, 1, [](TList& l) { l.Remove(1), l.Add(2); },
       {1}, {2}},
      {"a long list removes its last", 10, false, 1, [](TList& l) { l.Remove(10); }, upTo9, upTo9},
      {"a long list clears itself", 10, false, 5, [](TList& l) { l.RemoveIf([](int) { return true; }); },
       Range(1, 5), {}},
  };
  for (const TChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    TList list;
    for (int i = 1; i <= c.listeners; ++i) list.Add(i);
    std::vector<int> called;
    bool changed = false;
    auto round = [&] {
      called.clear();
      list.Call(
          [&](int listener) {
            called.push_back(listener);
            if (listener == c.actor && !changed) {
              changed = true;
              c.change(list);
            }
          },
          c.lastFirst);
      return called;
    };
    EXPECT_EQ(round(), c.firstRound);
    EXPECT_EQ(round(), c.secondRound);
  }
}

// A sender that visits its listeners in groups takes one round for all of
// them: one added while the first group is called is not in the second.
TEST(ListenerList, ARoundCalledTwiceSeesOneList) {
  TList list;
  for (int i : {1, 2, 3, 4}) list.Add(i);
  std::vector<int> called;
  const TList::TRound round(list);
  for (bool odd : {true, false})
    round.Call(
        [&](int listener) {
          if ((listener % 2 == 1) != odd) return;
          called.push_back(listener);
          if (listener == 1) list.Remove(4), list.Add(5), list.Add(6);
        },
        true);
  EXPECT_EQ(called, (std::vector<int>{3, 1, 2}));
  // 4 went, 5 and 6 came after 3: adding 5 again gives its index, not a
  // second entry.
  EXPECT_EQ(list.Add(5), 3);
  EXPECT_EQ(list.size(), 5u);
  EXPECT_EQ(list.at(4), 6);
}

// The point of skipping removed listeners: a listener may destroy another,
// which detaches itself on the way out, and must not be reached afterwards.
TEST(ListenerList, AListenerDestroyedDuringTheRoundIsNotReached) {
  struct TWatcher {
    TListenerList<TWatcher*>& list;
    std::vector<std::string>& log;
    std::string name;
    std::unique_ptr<TWatcher> victim;  // destroyed by this watcher's call
    ~TWatcher() { list.Remove(this); }
    void Hear() {
      log.push_back(name);
      victim.reset();
    }
  };
  TListenerList<TWatcher*> list;
  std::vector<std::string> log;
  auto victim = std::make_unique<TWatcher>(list, log, "victim", nullptr);
  TWatcher* victimSeen = victim.get();
  TWatcher killer{list, log, "killer", std::move(victim)};
  TWatcher bystander{list, log, "bystander", nullptr};
  list.Add(&killer);
  list.Add(victimSeen);
  list.Add(&bystander);
  list.Call([](TWatcher* w) { w->Hear(); });
  EXPECT_EQ(log, (std::vector<std::string>{"killer", "bystander"}));
}
