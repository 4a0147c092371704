#pragma once
#include <concepts>
#include <cstdint>

namespace tharvel {

// num / den rounded to the nearest integer, halves to even (num >= 0, den > 0).
template <std::integral T>
constexpr T roundHalfEven(T num, T den) {
    T quotient = num / den;
    T twice = (num % den) * 2;
    if (twice > den || (twice == den && (quotient & 1))) ++quotient;
    return quotient;
}

// done / total × 100 as a whole percent, halves to even; 0 when there is no total.
constexpr std::int32_t roundedPercent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<std::int32_t>(roundHalfEven<std::uint64_t>(done * 100, total));
}

}  // namespace tharvel
