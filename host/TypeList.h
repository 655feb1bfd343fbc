// A list of types, and a loop over it: what a program iterates where it would otherwise
// expand a list macro.
#pragma once

#include <cstddef>

namespace TernAsicUtils {
template <class... T>
struct TypeList {
  static constexpr std::size_t size = sizeof...(T);
};

// Calls f.template operator()<T>() for every T of the list, in order.
template <class... T, class F>
constexpr void forEachType(TypeList<T...>, F&& f) {
  (f.template operator()<T>(), ...);
}
}  // namespace TernAsicUtils
