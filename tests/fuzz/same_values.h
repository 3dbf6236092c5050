#pragma once
// Equality of decoded rows for the round-trip checks. Boost.JSON 1.81 reads long numbers to
// within one unit in the last place, so a float written back may read one step off; that is
// the library's precision, not a change of the value, and is allowed here.
#include <cmath>
#include <variant>

#include "data/packet.h"

namespace gerfuzz {

inline bool SameValue(const ger::Value& a, const ger::Value& b) {
  const double* x = std::get_if<double>(&a);
  const double* y = std::get_if<double>(&b);
  if (x && y) return *x == *y || std::fabs(*x - *y) <= 4e-16 * std::fabs(*x);
  return a == b;
}

inline bool SameRow(const ger::Row& a, const ger::Row& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!SameValue(a[i], b[i])) return false;
  return true;
}

}  // namespace gerfuzz
