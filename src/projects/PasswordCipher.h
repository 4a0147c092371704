#pragma once
// PasswordCipher: the password cipher. RC4 keyed with the MD5 digest of a pass phrase;
// the key is the whole 16-byte digest (no salt), the same for both directions.
// Enciphering and deciphering are the same transformation and the output is as
// long as the input. Each use creates its own object.
//
// Passwords: the typed text is taken as its UTF-8 bytes. The stored form (the
// MySQLPassword column and the project file) maps each cipher byte to the
// character U+0000..U+00FF of the same number, kept as UTF-8, so it is lossless.
#include <array>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct evp_md_st;

namespace tharvel {

class CipherError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PasswordCipher {
public:
    PasswordCipher();
    ~PasswordCipher();
    PasswordCipher(const PasswordCipher&) = delete;
    PasswordCipher& operator=(const PasswordCipher&) = delete;

    std::string encipher(std::string_view plain, std::string_view passPhrase);
    std::string decipher(std::string_view cipher, std::string_view passPhrase);

    // True when the digest could not be had; the operations then return as many
    // zero bytes as they were given, never the plain text.
    bool failed() const { return failed_; }

    // The program's pass phrase, joined at run time from three pieces.
    static std::string passPhrase();

    // Typed password (UTF-8) -> stored form; an empty text stays empty. Throws
    // CipherError when the cipher cannot be had (zero bytes are no password).
    static std::string encipherPassword(std::string_view typed);
    // Stored form -> the password's bytes; an empty text gives an empty password
    // without the cipher. Throws CipherError when the cipher cannot be had.
    static std::string decipherPassword(std::string_view stored);

    static constexpr const char* kEncipherFailed =
        "The password could not be enciphered: the MD5 digest is not available";
    static constexpr const char* kDecipherFailed =
        "The stored password could not be deciphered: the MD5 digest is not available";

    // Fetches the digest by another name while it lives (a name that does not exist
    // makes every cipher fail): the way to meet a system without MD5.
    class DigestNameOverride {
    public:
        explicit DigestNameOverride(const char* name) : previous_(digestName_.exchange(name)) {}
        ~DigestNameOverride() { digestName_.store(previous_); }
        DigestNameOverride(const DigestNameOverride&) = delete;
        DigestNameOverride& operator=(const DigestNameOverride&) = delete;

    private:
        const char* previous_;
    };

    // Bytes <-> stored form. A character above U+00FF (not written by the program)
    // becomes "?"; bytes that are not UTF-8 are taken as they are.
    static std::string toStoredForm(std::string_view bytes);
    static std::string fromStoredForm(std::string_view stored);

    // The raw pieces, with their standard results.
    static std::string rc4(std::string_view key, std::string_view data);

private:
    bool md5(std::string_view data, std::array<unsigned char, 16>& digest);
    std::string transform(std::string_view data, std::string_view passPhrase);

    static inline std::atomic<const char*> digestName_{"MD5"};

    evp_md_st* md5_ = nullptr;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace tharvel
