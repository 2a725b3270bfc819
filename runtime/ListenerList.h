// The listeners of one sender (a transaction's callbacks, a dataset's data
// sources, a data source's links), and how a sender calls them when a
// listener may add or remove listeners, itself included, from inside its
// call.
//
// A round of calls goes over the listeners present when it began. A listener
// removed meanwhile is skipped (it may be gone already: listeners detach
// themselves when they are destroyed); one added meanwhile waits for the
// next round, even when it equals one that was removed. The round keeps a
// copy of the list on the stack while it is short: notifications go out
// several times for every row a transfer writes, to one or two listeners,
// and copying those onto the heap each time cost more than the dispatch.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// T is a small value compared with ==: a pointer, or a (handler, data) pair.
// The list holds each value once, in the order added.
template <class T>
class TListenerList {
  // A round's copy of the list, on the stack up to N items.
  template <class U, std::size_t N = 8>
  class TSmallCopy {
   public:
    explicit TSmallCopy(const std::vector<U>& items) : m_size(items.size()) {
      if (m_size <= N)
        std::copy(items.begin(), items.end(), m_inline.begin());
      else
        m_heap = items;
    }
    TSmallCopy(const TSmallCopy&) = delete;
    TSmallCopy& operator=(const TSmallCopy&) = delete;

    std::size_t size() const noexcept { return m_size; }
    const U& operator[](std::size_t index) const { return (m_size <= N ? m_inline.data() : m_heap.data())[index]; }

   private:
    std::size_t m_size;
    std::array<U, N> m_inline;  // only the first m_size are set
    std::vector<U> m_heap;
  };

 public:
  std::size_t size() const noexcept { return m_items.size(); }
  bool empty() const noexcept { return m_items.empty(); }
  const T& at(std::size_t index) const { return m_items.at(index); }
  const T& back() const { return m_items.back(); }
  auto begin() const noexcept { return m_items.begin(); }
  auto end() const noexcept { return m_items.end(); }

  // Appends `item` unless present; its index either way.
  int Add(const T& item) {
    const auto it = std::find(m_items.begin(), m_items.end(), item);
    if (it != m_items.end()) return static_cast<int>(it - m_items.begin());
    m_items.push_back(item);
    m_serials.push_back(++m_lastSerial);
    return static_cast<int>(m_items.size()) - 1;
  }
  void Remove(const T& item) {
    RemoveIf([&](const T& present) { return present == item; });
  }
  template <class Pred>
  void RemoveIf(Pred&& drop) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
      if (drop(m_items[i])) continue;
      m_items[kept] = m_items[i];
      m_serials[kept] = m_serials[i];
      ++kept;
    }
    m_items.resize(kept);
    m_serials.resize(kept);
  }

  // The listeners present when it was taken; Call may run more than once
  // over them (a sender that visits its listeners in groups).
  class TRound {
   public:
    explicit TRound(const TListenerList& list) : m_list(list), m_items(list.m_items), m_serials(list.m_serials) {}

    // Calls `call(item)` for each listener of the round still in the list,
    // in the order added or last added first.
    template <class F>
    void Call(F&& call, bool lastFirst = false) const {
      const std::size_t count = m_items.size();
      for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = lastFirst ? count - 1 - k : k;
        if (m_list.Holds(m_serials[i])) call(m_items[i]);
      }
    }

   private:
    const TListenerList& m_list;
    TSmallCopy<T> m_items;
    TSmallCopy<std::uint64_t> m_serials;
  };

  // One round over the listeners present now.
  template <class F>
  void Call(F&& call, bool lastFirst = false) const {
    if (m_items.empty()) return;
    // A single listener needs no copy: no one is left to visit after it,
    // whatever it adds or removes. The value is copied: the list may move.
    if (m_items.size() == 1) {
      const T only = m_items.front();
      call(only);
      return;
    }
    TRound(*this).Call(call, lastFirst);
  }

 private:
  bool Holds(std::uint64_t serial) const {
    return std::find(m_serials.begin(), m_serials.end(), serial) != m_serials.end();
  }

  std::vector<T> m_items;
  // One per item, never reused: a listener removed and added again during a
  // round is a new entry, not the one the round saw.
  std::vector<std::uint64_t> m_serials;
  std::uint64_t m_lastSerial = 0;
};
