#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"

using namespace tharvel;

TEST(Text, Utf8SequencesAreWellFormedOnly) {
    struct Case {
        std::string bytes;
        size_t length;  // of the sequence at 0; 0 when it is not one
        char32_t codePoint;
    };
    const Case cases[] = {
        {std::string("\0", 1), 1, 0},
        {"A", 1, 'A'},
        {"\x7F", 1, 0x7F},
        {"\xC2\x80", 2, 0x80},
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xED\x9F\xBF", 3, 0xD7FF},
        {"\xEE\x80\x80", 3, 0xE000},
        {"\xEF\xBF\xBF", 3, 0xFFFF},
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        {"\xE2\x82\xAC tail", 3, 0x20AC},
        // Overlong forms.
        {"\xC0\x80", 0, 0},
        {"\xC1\xBF", 0, 0},
        {"\xE0\x9F\xBF", 0, 0},
        {"\xF0\x8F\xBF\xBF", 0, 0},
        // Surrogates.
        {"\xED\xA0\x80", 0, 0},
        {"\xED\xBF\xBF", 0, 0},
        // Past U+10FFFF, and leads that start nothing.
        {"\xF4\x90\x80\x80", 0, 0},
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xF8\x88\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        {"\x80", 0, 0},
        {"\xBF\x80", 0, 0},
        // Cut short, by the end or by a byte that does not continue.
        {"\xC3", 0, 0},
        {"\xE2\x82", 0, 0},
        {"\xF0\x9F\x98", 0, 0},
        {"\xE2\x82z", 0, 0},
        {"\xC3\xC3\xA9", 0, 0},
    };
    for (const Case& c : cases) {
        char32_t codePoint = 0xDEAD;
        EXPECT_EQ(utf8SequenceAt(c.bytes, 0, codePoint), c.length) << testing::PrintToString(c.bytes);
        if (c.length) {
            EXPECT_EQ(codePoint, c.codePoint) << testing::PrintToString(c.bytes);
        }
        // The whole text is valid exactly when its only sequence is.
        if (c.length == c.bytes.size() || c.length == 0) {
            EXPECT_EQ(isValidUtf8(c.bytes), c.length != 0) << testing::PrintToString(c.bytes);
        }
    }
    // A sequence is read where it stands, not from the start of the text.
    char32_t codePoint = 0;
    EXPECT_EQ(utf8SequenceAt("ab\xC3\xA9", 2, codePoint), 2u);
    EXPECT_EQ(codePoint, 0xE9u);
    EXPECT_EQ(utf8SequenceAt("ab\xC3\xA9", 3, codePoint), 0u);
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98"));  // last one cut
}

TEST(Text, EncodedCodePointsReadBack) {
    for (char32_t codePoint : {0x0u, 0x41u, 0x7Fu, 0x80u, 0xFFu, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFDu,
                               0xFFFFu, 0x10000u, 0x1F600u, 0x10FFFFu}) {
        std::string out = "x";
        appendUtf8(out, codePoint);
        char32_t back = 0xDEAD;
        ASSERT_EQ(utf8SequenceAt(out, 1, back), out.size() - 1)
            << std::hex << static_cast<unsigned>(codePoint);
        EXPECT_EQ(back, codePoint);
    }
}

TEST(Text, Latin1WidensEveryByte) {
    EXPECT_EQ(latin1ToUtf8(""), "");
    EXPECT_EQ(latin1ToUtf8(std::string("a\0z", 3)), std::string("a\0z", 3));
    EXPECT_EQ(latin1ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(latin1ToUtf8("\x80\x9F\xA0\xFF"), "\xC2\x80\xC2\x9F\xC2\xA0\xC3\xBF");  // no Windows-1252
    // Bytes that happen to be UTF-8 are widened as well.
    EXPECT_EQ(latin1ToUtf8("\xC3\xA9"), "\xC3\x83\xC2\xA9");
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string wide = latin1ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(wide));
    EXPECT_EQ(wide.size(), 128u + 2 * 128u);
}

TEST(Text, TrimmingRemovesOnlyItsSet) {
    struct Case {
        std::string text;
        std::string blanks;  // trimBlanks: every byte up to U+0020
        std::string tabs;    // trim with " \t"
    };
    const Case cases[] = {
        {"", "", ""},
        {"a", "a", "a"},
        {"  a b  ", "a b", "a b"},
        {"\t a \t", "a", "a"},
        {"\r\na\r\n", "a", "\r\na\r\n"},
        {std::string("\0a\0", 3), "a", std::string("\0a\0", 3)},
        {"\x01\x1F"
         "a"
         "\x7F",
         "a\x7F",
         "\x01\x1F"
         "a"
         "\x7F"},
        {" \t\r\n ", "", "\r\n"},
        {"   ", "", ""},
        {"\xC2\xA0"
         "a"
         "\xC2\xA0",
         "\xC2\xA0"
         "a"
         "\xC2\xA0",
         "\xC2\xA0"
         "a"
         "\xC2\xA0"},  // U+00A0 stays
        {" \tx\t ", "x", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trimBlanks(c.text), c.blanks) << testing::PrintToString(c.text);
        EXPECT_EQ(trim(c.text, " \t"), c.tabs) << testing::PrintToString(c.text);
    }
    EXPECT_EQ(trim("xxaxx", "x"), "a");
    EXPECT_EQ(trim("a", ""), "a");
}
