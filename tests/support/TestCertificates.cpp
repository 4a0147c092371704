#include "support/TestCertificates.h"

#include <cstdlib>
#include <stdexcept>

namespace tharvel::test {
namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("openssl failed: " + command);
}

}  // namespace

TestCertificates::TestCertificates() : dir_("tharvel-certs") {
    std::string d = dir_.path().string() + "/";
    for (const char* name : {"ca", "other-ca"})
        run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + std::string(name) + " -keyout " +
            d + name + "-key.pem -out " + d + name + ".pem");
    struct Leaf {
        const char *name, *key, *names;
    } leaves[] = {{"server", "server-key", "DNS:localhost"}};
    for (const Leaf& l : leaves) {
        run("openssl req -newkey rsa:2048 -nodes -subj /CN=" + std::string(l.name) + " -keyout " + d + l.key +
            ".pem -out " + d + l.name + ".csr");
        writeFile(dir_ / (std::string(l.name) + ".ext"), std::string("subjectAltName=") + l.names + "\n");
        run("openssl x509 -req -days 2 -in " + d + l.name + ".csr -CA " + d + "ca.pem -CAkey " + d +
            "ca-key.pem -CAcreateserial -extfile " + d + l.name + ".ext -out " + d + l.name + ".pem");
    }
}

}  // namespace tharvel::test
