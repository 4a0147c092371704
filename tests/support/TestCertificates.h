#pragma once
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace tharvel::test {

// Certificates made with the openssl command at test time: a CA, a server key and
// certificate signed by it for "localhost" and 127.0.0.1, and an unrelated second CA.
class TestCertificates {
public:
    TestCertificates();

    std::filesystem::path ca() const { return dir_ / "ca.pem"; }
    std::filesystem::path otherCa() const { return dir_ / "other-ca.pem"; }
    std::filesystem::path serverCert() const { return dir_ / "server.pem"; }
    std::filesystem::path serverKey() const { return dir_ / "server-key.pem"; }
    // A certificate from the same CA that names only "elsewhere.example".
    std::filesystem::path wrongNameCert() const { return dir_ / "wrong.pem"; }
    std::filesystem::path wrongNameKey() const { return dir_ / "wrong-key.pem"; }
    const std::filesystem::path& directory() const { return dir_.path(); }

private:
    TempDir dir_;
};

}  // namespace tharvel::test
