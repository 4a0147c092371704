#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tharvel {

// The authentication methods this client speaks, and the state of one login's
// exchange with the server: the first answer for a method and its data, and the
// answers to the server's further rounds ("more data" packets).
class Authentication {
public:
    static constexpr std::string_view kNative = "mysql_native_password";
    static constexpr std::string_view kOld = "mysql_old_password";
    static constexpr std::string_view kEd25519 = "client_ed25519";
    static constexpr std::string_view kCachingSha2 = "caching_sha2_password";
    static constexpr std::string_view kSha256 = "sha256_password";

    static bool isKnown(std::string_view method);

    // password: the login password; secure: the channel is encrypted or local, so a
    // password may cross it as it is; publicKey: the server's RSA key (PEM) if known.
    Authentication(std::string password, bool secure, std::string publicKey = {});

    // Switches to a method with the server's data for it and returns the first answer.
    // An unknown method raises 2012 naming it.
    std::string start(std::string_view method, std::span<const uint8_t> data);
    // The answer to a "more data" packet (its first byte 1 already removed); returned
    // empty with done set when nothing is to be sent (the server's OK follows).
    std::string answerMoreData(std::span<const uint8_t> data, bool& nothingToSend);
    const std::string& method() const { return method_; }

    // SHA-256 scramble: SHA256(P) XOR SHA256(SHA256(SHA256(P)) + nonce).
    static std::array<uint8_t, 32> scrambleSha256(std::string_view password, std::span<const uint8_t> nonce);
    // Ed25519 signature of message with the key expanded from SHA-512(password).
    static std::array<uint8_t, 64> signEd25519(std::string_view password, std::span<const uint8_t> message);
    // RSA-OAEP of (password + zero byte) XOR nonce, repeated, with a PEM public key.
    static std::string encryptPassword(std::string_view password, std::span<const uint8_t> nonce,
                                       std::string_view pem);

private:
    std::string fullAuthentication();
    std::string password_;
    bool secure_;
    std::string publicKey_;
    std::string method_;
    std::string nonce_;
    bool keyRequested_ = false;
};

}  // namespace tharvel
