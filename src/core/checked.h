#pragma once

// Integer arithmetic that fails instead of wrapping: a result outside the
// range of its type, or a byte store outside 0..255, raises the overflow
// failure. The conversion routines rely on this to refuse sizes and colours
// they cannot represent rather than produce wrong data.

#include "runtime_error.h"

#include <cstdint>
#include <type_traits>

namespace zentraq::checked {

namespace detail {
// Out of line and marked cold, so the checks themselves inline into the
// per-pixel loops that use them.
[[noreturn, gnu::cold, gnu::noinline]] inline void overflow() {
    throw RuntimeError::overflow();
}
} // namespace detail

// The result of a checked operation, or the overflow failure.
template <class T> T unlessOverflowed(bool overflowed, T result) {
    static_assert(std::is_integral_v<T>);
    if (__builtin_expect(overflowed, 0))
        detail::overflow();
    return result;
}

template <class T> T mul(T a, T b) {
    T r;
    const bool overflowed = __builtin_mul_overflow(a, b, &r);
    return unlessOverflowed(overflowed, r);
}

template <class T> T add(T a, T b) {
    T r;
    const bool overflowed = __builtin_add_overflow(a, b, &r);
    return unlessOverflowed(overflowed, r);
}

// Stores a value into a byte; anything outside 0..255 is an overflow.
inline std::uint8_t toByte(long long v) {
    if (__builtin_expect(v < 0 || v > 255, 0))
        detail::overflow();
    return static_cast<std::uint8_t>(v);
}

} // namespace zentraq::checked
