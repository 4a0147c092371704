#include <gtest/gtest.h>

#include <string>

#include "projects/PasswordCipher.h"

using tharvel::PasswordCipher;

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

TEST(PasswordCipher, Rc4PublishedVectors) {
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
    for (const Case& c : cases) EXPECT_EQ(hex(PasswordCipher::rc4(c.key, c.plain)), c.cipherHex) << c.plain;
}

TEST(PasswordCipher, KeyIsTheWholeMd5DigestOfThePhrase) {
    // MD5("abc") = 900150983cd24fb0d6963f7d28e17f72; MD5("") = d41d8cd98f00b204e9800998ecf8427e.
    PasswordCipher cipher;
    ASSERT_FALSE(cipher.failed());
    EXPECT_EQ(cipher.encipher("Plaintext", "abc"),
              PasswordCipher::rc4(unhex("900150983cd24fb0d6963f7d28e17f72"), "Plaintext"));
    EXPECT_EQ(cipher.encipher("x", ""), PasswordCipher::rc4(unhex("d41d8cd98f00b204e9800998ecf8427e"), "x"));
    std::string once = cipher.encipher("secret", "abc");
    EXPECT_EQ(cipher.encipher("secret", "abc"), once);  // no salt, no state between calls
    EXPECT_EQ(cipher.decipher(once, "abc"), "secret");
}

TEST(PasswordCipher, PasswordsRoundTripThroughTheStoredForm) {
    EXPECT_EQ(PasswordCipher::passPhrase().size(), 5u);
    EXPECT_EQ(PasswordCipher::encipherPassword(""), "");
    EXPECT_EQ(PasswordCipher::decipherPassword(""), "");
    for (std::string typed : {std::string("a"), std::string("p\xC3\xA4ssw\xC3\xB6rd \xE2\x82\xAC"),
                              std::string(64, 'z'), std::string("\0\x01\xFF", 3)}) {
        std::string stored = PasswordCipher::encipherPassword(typed);
        // One character per byte of the password's UTF-8 form.
        EXPECT_EQ(PasswordCipher::fromStoredForm(stored).size(), typed.size());
        EXPECT_NE(PasswordCipher::fromStoredForm(stored), typed);
        EXPECT_EQ(PasswordCipher::decipherPassword(stored), typed);
    }
}

TEST(PasswordCipher, StoredFormIsLatin1OfEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string stored = PasswordCipher::toStoredForm(all);
    EXPECT_EQ(stored.size(), 128u + 2 * 128u);
    EXPECT_EQ(stored.substr(stored.size() - 2), "\xC3\xBF");  // U+00FF
    EXPECT_EQ(PasswordCipher::fromStoredForm(stored), all);
    // Not written by the program, read without a crash.
    EXPECT_EQ(PasswordCipher::fromStoredForm("\xE2\x82\xAC"), "?");
    EXPECT_EQ(PasswordCipher::fromStoredForm("\xFF"
                                             "a\xC3"),
              "\xFF"
              "a\xC3");
}

TEST(PasswordCipher, MissingDigestRaisesInsteadOfGivingZeroBytes) {
    const std::string stored = PasswordCipher::encipherPassword("secret");
    {
        PasswordCipher::DigestNameOverride noMd5("NO-SUCH-DIGEST");
        PasswordCipher cipher;
        EXPECT_TRUE(cipher.failed());
        EXPECT_EQ(cipher.encipher("secret", "abc"), std::string(6, '\0'));  // never the plain text
        try {
            PasswordCipher::encipherPassword("secret");
            ADD_FAILURE() << "no error";
        } catch (const tharvel::CipherError& error) {
            EXPECT_STREQ(error.what(), PasswordCipher::kEncipherFailed);
        }
        EXPECT_THROW(PasswordCipher::decipherPassword(stored), tharvel::CipherError);
        // No cipher is needed for an empty password.
        EXPECT_EQ(PasswordCipher::encipherPassword(""), "");
        EXPECT_EQ(PasswordCipher::decipherPassword(""), "");
    }
    EXPECT_EQ(PasswordCipher::decipherPassword(stored), "secret");
}
