// A copy of a short list, taken before calling handlers that may change the
// list. Notifications go out several times for every row a transfer
// writes, to one or two listeners: copying those onto
// the heap each time cost more than the dispatch itself, so a short list
// stays on the stack.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

template <class T, std::size_t N = 8>
class TSmallCopy {
 public:
  explicit TSmallCopy(const std::vector<T>& items) : m_size(items.size()) {
    if (m_size <= N)
      std::copy(items.begin(), items.end(), m_inline.begin());
    else
      m_heap = items;
  }
  TSmallCopy(const TSmallCopy&) = delete;
  TSmallCopy& operator=(const TSmallCopy&) = delete;

  std::size_t size() const noexcept { return m_size; }
  const T& operator[](std::size_t index) const { return data()[index]; }
  const T* begin() const noexcept { return data(); }
  const T* end() const noexcept { return data() + m_size; }

 private:
  const T* data() const noexcept { return m_size <= N ? m_inline.data() : m_heap.data(); }

  std::size_t m_size;
  std::array<T, N> m_inline;  // only the first m_size are set
  std::vector<T> m_heap;
};
