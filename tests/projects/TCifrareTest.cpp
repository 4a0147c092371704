#include <gtest/gtest.h>

#include <string>

#include "projects/TCifrare.h"

using tharvel::TCifrare;

namespace {

std::string hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) out += {kHex[b >> 4], kHex[b & 0xF]};
    return out;
}

std::string unhex(std::string_view text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16));
    return out;
}

}  // namespace

TEST(TCifrare, Rc4PublishedVectors) {
    struct Case {
        std::string key, plain, cipherHex;
    };
    const Case cases[] = {
        {"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {"Wiki", "pedia", "1021bf0420"},
        {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
        // RFC 6229, 40-bit and 128-bit keys, key stream at offset 0.
        {unhex("0102030405"), std::string(16, '\0'), "b2396305f03dc027ccc3524a0a1118a8"},
        {unhex("0102030405060708090a0b0c0d0e0f10"), std::string(16, '\0'),
         "9ac7cc9a609d1ef7b2932899cde41b97"},
    };
    for (const Case& c : cases) EXPECT_EQ(hex(TCifrare::rc4(c.key, c.plain)), c.cipherHex) << c.plain;
}

TEST(TCifrare, KeyIsTheWholeMd5DigestOfThePhrase) {
    // MD5("abc") = 900150983cd24fb0d6963f7d28e17f72; MD5("") = d41d8cd98f00b204e9800998ecf8427e.
    TCifrare cipher;
    ASSERT_FALSE(cipher.failed());
    EXPECT_EQ(cipher.Encipher("Plaintext", "abc"),
              TCifrare::rc4(unhex("900150983cd24fb0d6963f7d28e17f72"), "Plaintext"));
    EXPECT_EQ(cipher.Encipher("x", ""), TCifrare::rc4(unhex("d41d8cd98f00b204e9800998ecf8427e"), "x"));
    std::string once = cipher.Encipher("secret", "abc");
    EXPECT_EQ(cipher.Encipher("secret", "abc"), once);  // no salt, no state between calls
    EXPECT_EQ(cipher.Decipher(once, "abc"), "secret");
}

TEST(TCifrare, PasswordsRoundTripThroughTheStoredForm) {
    EXPECT_EQ(TCifrare::passPhrase().size(), 5u);
    EXPECT_EQ(TCifrare::encipherPassword(""), "");
    EXPECT_EQ(TCifrare::decipherPassword(""), "");
    for (std::string typed : {std::string("a"), std::string("p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC"),
                              std::string(64, 'z'), std::string("\0\x01\xFF", 3)}) {
        std::string stored = TCifrare::encipherPassword(typed);
        // One character per byte of the password's UTF-8 form.
        EXPECT_EQ(TCifrare::fromStoredForm(stored).size(), typed.size());
        EXPECT_NE(TCifrare::fromStoredForm(stored), typed);
        EXPECT_EQ(TCifrare::decipherPassword(stored), typed);
    }
}

TEST(TCifrare, StoredFormIsLatin1OfEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string stored = TCifrare::toStoredForm(all);
    EXPECT_EQ(stored.size(), 128u + 2 * 128u);
    EXPECT_EQ(stored.substr(stored.size() - 2), "\xC3\xBF");  // U+00FF
    EXPECT_EQ(TCifrare::fromStoredForm(stored), all);
    // Not written by the program, read without a crash.
    EXPECT_EQ(TCifrare::fromStoredForm("\xE2\x82\xAC"), "?");
    EXPECT_EQ(TCifrare::fromStoredForm("\xFF"
                                       "a\xC3"),
              "\xFF"
              "a\xC3");
}

TEST(TCifrare, MissingDigestRaisesInsteadOfGivingZeroBytes) {
    const std::string stored = TCifrare::encipherPassword("secret");
    {
        TCifrare::DigestNameOverride noMd5("NO-SUCH-DIGEST");
        TCifrare cipher;
        EXPECT_TRUE(cipher.failed());
        EXPECT_EQ(cipher.Encipher("secret", "abc"), std::string(6, '\0'));  // never the plain text
        try {
            TCifrare::encipherPassword("secret");
            ADD_FAILURE() << "no error";
        } catch (const tharvel::ECipherError& error) {
            EXPECT_STREQ(error.what(), TCifrare::kEncipherFailed);
        }
        EXPECT_THROW(TCifrare::decipherPassword(stored), tharvel::ECipherError);
        // No cipher is needed for an empty password.
        EXPECT_EQ(TCifrare::encipherPassword(""), "");
        EXPECT_EQ(TCifrare::decipherPassword(""), "");
    }
    EXPECT_EQ(TCifrare::decipherPassword(stored), "secret");
}
