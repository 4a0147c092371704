#pragma once
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace tharvel::test {

// Certificates made with the openssl command at test time: a CA, a server key and
// certificate signed by it that names only "localhost" (so 127.0.0.1 does not match),
// and an unrelated second CA.
class TestCertificates {
public:
    TestCertificates();

    std::filesystem::path ca() const { return dir_ / "ca.pem"; }
    std::filesystem::path otherCa() const { return dir_ / "other-ca.pem"; }
    std::filesystem::path serverCert() const { return dir_ / "server.pem"; }
    std::filesystem::path serverKey() const { return dir_ / "server-key.pem"; }
    const std::filesystem::path& directory() const { return dir_.path(); }

private:
    TempDir dir_;
};

}  // namespace tharvel::test
