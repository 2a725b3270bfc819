// A dynamic_cast for hot paths that first checks the one class the object
// nearly always has: equal type_info is a pointer compare, while a cast to an
// intermediate base searches the class hierarchy every time.
#pragma once

#include <type_traits>
#include <typeinfo>

template <class Target, class Likely, class Source>
Target* LikelyCast(Source* p) {
  static_assert(std::is_base_of_v<std::remove_const_t<Target>, Likely>, "Likely must be a Target");
  if (!p) return nullptr;
  using LikelyPtr = std::conditional_t<std::is_const_v<Source>, const Likely*, Likely*>;
  if (typeid(*p) == typeid(Likely)) return static_cast<LikelyPtr>(p);
  return dynamic_cast<Target*>(p);
}
