#include "projects/PasswordCipher.h"

#include <openssl/evp.h>

#include <utility>

#include "platform/Text.h"

namespace tharvel {
namespace {

// The pass phrase's three pieces; joined only at run time.
constexpr char kPieceA[] = "Tq";
constexpr char kPieceB[] = "7v";
constexpr char kPieceC[] = "K";

}  // namespace

PasswordCipher::PasswordCipher() : md5_(EVP_MD_fetch(nullptr, digestName_.load(), nullptr)) {
    failed_ = md5_ == nullptr;
}

PasswordCipher::~PasswordCipher() {
    EVP_MD_free(md5_);
}

std::string PasswordCipher::passPhrase() {
    std::string phrase;
    phrase.append(kPieceA, 2).append(kPieceB, 2).append(kPieceC, 1);
    return phrase;
}

bool PasswordCipher::md5(std::string_view data, std::array<unsigned char, 16>& digest) {
    if (!md5_) return false;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (!context) return false;
    unsigned int length = 0;
    bool ok = EVP_DigestInit_ex(context, md5_, nullptr) == 1 &&
              EVP_DigestUpdate(context, data.data(), data.size()) == 1 &&
              EVP_DigestFinal_ex(context, digest.data(), &length) == 1 && length == digest.size();
    EVP_MD_CTX_free(context);
    return ok;
}

std::string PasswordCipher::rc4(std::string_view key, std::string_view data) {
    std::string out(data);
    if (key.empty()) return out;
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (unsigned i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    unsigned i = 0, j = 0;
    for (char& c : out) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        c = static_cast<char>(static_cast<unsigned char>(c) ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return out;
}

std::string PasswordCipher::transform(std::string_view data, std::string_view passPhrase) {
    buffer_.assign(data);
    std::array<unsigned char, 16> digest{};
    if (!md5(passPhrase, digest)) {
        // Never hand back the plain text as if it were enciphered.
        failed_ = true;
        return std::string(data.size(), '\0');
    }
    buffer_ = rc4(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()), buffer_);
    return buffer_;
}

std::string PasswordCipher::encipher(std::string_view plain, std::string_view passPhrase) {
    return transform(plain, passPhrase);
}

std::string PasswordCipher::decipher(std::string_view cipher, std::string_view passPhrase) {
    return transform(cipher, passPhrase);
}

std::string PasswordCipher::toStoredForm(std::string_view bytes) {
    return latin1ToUtf8(bytes);
}

std::string PasswordCipher::fromStoredForm(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (size_t i = 0; i < stored.size();) {
        char32_t codePoint;
        size_t length = utf8SequenceAt(stored, i, codePoint);
        if (!length) {
            out += stored[i++];  // a byte that is not UTF-8
        } else {
            out += codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';  // '?': no byte maps to it
            i += length;
        }
    }
    return out;
}

std::string PasswordCipher::encipherPassword(std::string_view typed) {
    if (typed.empty()) return {};
    PasswordCipher cipher;
    std::string bytes = cipher.encipher(typed, passPhrase());
    if (cipher.failed()) throw CipherError(kEncipherFailed);
    return toStoredForm(bytes);
}

std::string PasswordCipher::decipherPassword(std::string_view stored) {
    if (stored.empty()) return {};
    PasswordCipher cipher;
    std::string bytes = cipher.decipher(fromStoredForm(stored), passPhrase());
    if (cipher.failed()) throw CipherError(kDecipherFailed);
    return bytes;
}

}  // namespace tharvel
