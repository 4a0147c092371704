#include "mysql/Authentication.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <memory>

#include "mysql/MySqlError.h"
#include "mysql/Session.h"

namespace tharvel {
namespace {

[[noreturn]] void cryptoFailure(const char* what) {
    char text[256];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR, std::string(what) + ": " + text);
}

std::span<const uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

template <size_t N>
std::array<uint8_t, N> digest(const EVP_MD* md, std::initializer_list<std::span<const uint8_t>> parts) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::array<uint8_t, N> out{};
    unsigned int n = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) throw MySqlError::client(CR_OUT_OF_MEMORY);
    for (auto part : parts) EVP_DigestUpdate(ctx.get(), part.data(), part.size());
    EVP_DigestFinal_ex(ctx.get(), out.data(), &n);
    return out;
}

std::array<uint8_t, 32> sha256(std::initializer_list<std::span<const uint8_t>> parts) {
    return digest<32>(EVP_sha256(), parts);
}

std::array<uint8_t, 64> sha512(std::initializer_list<std::span<const uint8_t>> parts) {
    return digest<64>(EVP_sha512(), parts);
}

// Edwards25519 arithmetic on BIGNUMs, in extended coordinates. It runs once per
// login, so clarity wins over speed.
struct BnFree {
    void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

Bn bn() {
    Bn b(BN_new());
    if (!b) throw MySqlError::client(CR_OUT_OF_MEMORY);
    return b;
}

Bn bnDec(const char* text) {
    BIGNUM* b = nullptr;
    if (!BN_dec2bn(&b, text)) throw MySqlError::client(CR_OUT_OF_MEMORY);
    return Bn(b);
}

Bn bnLittle(std::span<const uint8_t> bytes) {
    Bn b(BN_lebin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
    if (!b) throw MySqlError::client(CR_OUT_OF_MEMORY);
    return b;
}

class Curve {
public:
    Curve()
        : ctx_(BN_CTX_new(), BN_CTX_free),
          p_(bnDec("57896044618658097711785492504343953926634992332820282019728792003956564819949")),
          l_(bnDec("7237005577332262213973186563042994240857116359379907606001950938285454250989")),
          d2_(bnDec("16295367250680780974490674513165176452449235426866156013048779062215315747161")),
          bx_(bnDec("15112221349535400772501151409588531511454012693041857206046113283949847762202")),
          by_(bnDec("46316835694926478169428394003475163141307993866256225615783033603165251855960")) {
        if (!ctx_) throw MySqlError::client(CR_OUT_OF_MEMORY);
    }

    struct Point {
        Bn x, y, z, t;
    };

    const BIGNUM* order() const { return l_.get(); }
    BN_CTX* ctx() const { return ctx_.get(); }

    // scalar × base point, encoded: y little-endian with the low bit of x on top.
    std::array<uint8_t, 32> mulBase(const BIGNUM* scalar) const {
        Point r{bn(), bn(), bn(), bn()};
        BN_zero(r.x.get());
        BN_one(r.y.get());
        BN_one(r.z.get());
        BN_zero(r.t.get());
        Point b{bn(), bn(), bn(), bn()};
        BN_copy(b.x.get(), bx_.get());
        BN_copy(b.y.get(), by_.get());
        BN_one(b.z.get());
        mul(b.t.get(), bx_.get(), by_.get());
        for (int i = BN_num_bits(scalar) - 1; i >= 0; --i) {
            add(r, r);
            if (BN_is_bit_set(scalar, i)) add(r, b);
        }
        return encode(r);
    }

private:
    void mul(BIGNUM* out, const BIGNUM* a, const BIGNUM* b) const {
        if (!BN_mod_mul(out, a, b, p_.get(), ctx_.get())) throw MySqlError::client(CR_OUT_OF_MEMORY);
    }
    void addm(BIGNUM* out, const BIGNUM* a, const BIGNUM* b) const {
        if (!BN_mod_add(out, a, b, p_.get(), ctx_.get())) throw MySqlError::client(CR_OUT_OF_MEMORY);
    }
    void subm(BIGNUM* out, const BIGNUM* a, const BIGNUM* b) const {
        if (!BN_mod_sub(out, a, b, p_.get(), ctx_.get())) throw MySqlError::client(CR_OUT_OF_MEMORY);
    }

    // r := r + q with the unified formulas for a = -1 (valid for doubling too).
    void add(Point& r, const Point& q) const {
        Bn a = bn(), b = bn(), c = bn(), d = bn(), e = bn(), f = bn(), g = bn(), h = bn(), u = bn();
        subm(a.get(), r.y.get(), r.x.get());
        subm(u.get(), q.y.get(), q.x.get());
        mul(a.get(), a.get(), u.get());
        addm(b.get(), r.y.get(), r.x.get());
        addm(u.get(), q.y.get(), q.x.get());
        mul(b.get(), b.get(), u.get());
        mul(c.get(), r.t.get(), q.t.get());
        mul(c.get(), c.get(), d2_.get());
        mul(d.get(), r.z.get(), q.z.get());
        addm(d.get(), d.get(), d.get());
        subm(e.get(), b.get(), a.get());
        subm(f.get(), d.get(), c.get());
        addm(g.get(), d.get(), c.get());
        addm(h.get(), b.get(), a.get());
        mul(r.x.get(), e.get(), f.get());
        mul(r.y.get(), g.get(), h.get());
        mul(r.t.get(), e.get(), h.get());
        mul(r.z.get(), f.get(), g.get());
    }

    std::array<uint8_t, 32> encode(const Point& r) const {
        Bn zi(BN_mod_inverse(nullptr, r.z.get(), p_.get(), ctx_.get()));
        if (!zi) throw MySqlError::client(CR_OUT_OF_MEMORY);
        Bn x = bn(), y = bn();
        mul(x.get(), r.x.get(), zi.get());
        mul(y.get(), r.y.get(), zi.get());
        std::array<uint8_t, 32> out{};
        BN_bn2lebinpad(y.get(), out.data(), 32);
        if (BN_is_odd(x.get())) out[31] |= 0x80;
        return out;
    }

    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx_;
    Bn p_, l_, d2_, bx_, by_;
};

Bn reduced(const std::array<uint8_t, 64>& h, const Curve& curve) {
    Bn v = bnLittle(h);
    if (!BN_nnmod(v.get(), v.get(), curve.order(), curve.ctx())) throw MySqlError::client(CR_OUT_OF_MEMORY);
    return v;
}

}  // namespace

bool Authentication::isKnown(std::string_view method) {
    for (std::string_view m : {kNative, kOld, kEd25519, kCachingSha2, kSha256})
        if (m == method) return true;
    return false;
}

Authentication::Authentication(std::string password, bool secure, std::string publicKey)
    : password_(std::move(password)), secure_(secure), publicKey_(std::move(publicKey)) {}

std::array<uint8_t, 32> Authentication::scrambleSha256(std::string_view password,
                                                       std::span<const uint8_t> nonce) {
    auto m1 = sha256({bytesOf(password)});
    auto m2 = sha256({m1});
    auto m3 = sha256({m2, nonce});
    for (size_t i = 0; i < 32; ++i) m1[i] ^= m3[i];
    return m1;
}

std::array<uint8_t, 64> Authentication::signEd25519(std::string_view password,
                                                    std::span<const uint8_t> message) {
    Curve curve;
    auto az = sha512({bytesOf(password)});
    az[0] &= 248;
    az[31] &= 127;
    az[31] |= 64;
    Bn a = bnLittle(std::span<const uint8_t>(az.data(), 32));
    auto publicKey = curve.mulBase(a.get());
    Bn r = reduced(sha512({std::span<const uint8_t>(az.data() + 32, 32), message}), curve);
    auto encodedR = curve.mulBase(r.get());
    Bn k = reduced(sha512({encodedR, publicKey, message}), curve);
    Bn s = bn();
    if (!BN_mod_mul(s.get(), k.get(), a.get(), curve.order(), curve.ctx()) ||
        !BN_mod_add(s.get(), s.get(), r.get(), curve.order(), curve.ctx()))
        throw MySqlError::client(CR_OUT_OF_MEMORY);
    std::array<uint8_t, 64> signature{};
    std::copy(encodedR.begin(), encodedR.end(), signature.begin());
    BN_bn2lebinpad(s.get(), signature.data() + 32, 32);
    OPENSSL_cleanse(az.data(), az.size());
    return signature;
}

std::string Authentication::encryptPassword(std::string_view password, std::span<const uint8_t> nonce,
                                            std::string_view pem) {
    if (nonce.empty()) throw MySqlError::malformed("No scramble for the encrypted password");
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                  BIO_free);
    if (!bio) throw MySqlError::client(CR_OUT_OF_MEMORY);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    if (!key) cryptoFailure("The server's public key cannot be read");
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA)
        throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR, "The server's public key is not an RSA key");
    std::string plain(password);
    plain += '\0';
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<char>(plain[i] ^ nonce[i % nonce.size()]);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                    EVP_PKEY_CTX_free);
    size_t length = 0;
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
        EVP_PKEY_encrypt(ctx.get(), nullptr, &length, reinterpret_cast<const uint8_t*>(plain.data()),
                         plain.size()) != 1)
        cryptoFailure("The password cannot be encrypted");
    std::string out(length, '\0');
    int rc = EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<uint8_t*>(out.data()), &length,
                              reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
    OPENSSL_cleanse(plain.data(), plain.size());
    if (rc != 1) cryptoFailure("The password cannot be encrypted (too long for the server's key?)");
    out.resize(length);
    return out;
}

std::string Authentication::start(std::string_view method, std::span<const uint8_t> data) {
    if (!isKnown(method))
        throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR,
                                       "The server asks for the authentication plugin '" +
                                           std::string(method).substr(0, 64) +
                                           "', which this client does not support");
    method_ = method;
    keyRequested_ = false;
    // The 20-byte methods get their data with a closing zero byte.
    size_t nonceLength = method == kEd25519 ? 32 : method == kOld ? 8 : 20;
    if (data.size() < nonceLength)
        throw MySqlError::malformed("Authentication data of " + std::to_string(data.size()) + " bytes for " +
                                    method_);
    nonce_.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(nonceLength));
    auto nonce = bytesOf(nonce_);
    if (password_.empty()) return {};
    if (method == kNative) {
        auto t = Session::scramble41(password_, std::span<const uint8_t, 20>(nonce.data(), 20));
        return std::string(t.begin(), t.end());
    }
    if (method == kOld) {
        auto t = Session::scrambleOld(password_, std::span<const uint8_t, 8>(nonce.data(), 8));
        return std::string(t.begin(), t.end());
    }
    if (method == kEd25519) {
        auto s = signEd25519(password_, nonce);
        return std::string(s.begin(), s.end());
    }
    if (method == kCachingSha2) {
        auto s = scrambleSha256(password_, nonce);
        return std::string(s.begin(), s.end());
    }
    return fullAuthentication();  // sha256_password has no fast path
}

// The password itself: as it is over a secure channel, else encrypted with the
// server's key, which is asked for first when none is known.
std::string Authentication::fullAuthentication() {
    if (secure_) return password_ + '\0';
    if (!publicKey_.empty()) return encryptPassword(password_, bytesOf(nonce_), publicKey_);
    keyRequested_ = true;
    return method_ == kSha256 ? std::string("\x01") : std::string("\x02");
}

std::string Authentication::answerMoreData(std::span<const uint8_t> data, bool& nothingToSend) {
    nothingToSend = false;
    if (method_ == kCachingSha2 && !keyRequested_ && data.size() == 1) {
        if (data[0] == 3) {  // the server's cache knew the password
            nothingToSend = true;
            return {};
        }
        if (data[0] == 4) return fullAuthentication();
    }
    if ((method_ == kCachingSha2 || method_ == kSha256) && keyRequested_) {
        keyRequested_ = false;
        publicKey_.assign(data.begin(), data.end());
        return encryptPassword(password_, bytesOf(nonce_), publicKey_);
    }
    throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR,
                                   "Unexpected authentication data for the method " + method_);
}

}  // namespace tharvel
