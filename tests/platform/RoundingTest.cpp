#include <gtest/gtest.h>

#include <cstdint>

#include "platform/Rounding.h"

using tharvel::roundedPercent;
using tharvel::roundHalfEven;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    struct Case {
        std::int64_t num, den, rounded;
    };
    const Case cases[] = {
        {0, 1, 0},     {0, 7, 0},
        {1, 2, 0},     {3, 2, 2},
        {5, 2, 2},     {7, 2, 4},
        {9, 2, 4},     {1, 3, 0},
        {2, 3, 1},     {4, 3, 1},
        {5, 3, 2},     {1, 4, 0},
        {3, 4, 1},     {49, 100, 0},
        {50, 100, 0},  {51, 100, 1},
        {150, 100, 2}, {250, 100, 2},
        {100, 8, 12},  {300, 8, 38},
        {7, 1, 7},     {int64_t{1} << 62, 2, int64_t{1} << 61},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(roundHalfEven(c.num, c.den), c.rounded) << c.num << "/" << c.den;
        EXPECT_EQ(roundHalfEven<std::uint64_t>(c.num, c.den), static_cast<std::uint64_t>(c.rounded));
    }
    static_assert(roundHalfEven(5, 2) == 2 && roundHalfEven(7, 2) == 4);
}

TEST(Rounding, PercentsOfATotal) {
    struct Case {
        std::uint64_t done, total;
        std::int32_t percent;
    };
    const Case cases[] = {
        {0, 0, 0},  {5, 0, 0},  {0, 3, 0},  {1, 3, 33},   {2, 3, 67},   {3, 3, 100},
        {1, 8, 12}, {3, 8, 38}, {5, 8, 62}, {7, 8, 88},   {1, 200, 0},  {3, 200, 2},
        {1, 40, 2}, {1, 2, 50}, {1, 6, 17}, {1, 1000, 0}, {5, 1000, 0}, {15, 1000, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(roundedPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
}
