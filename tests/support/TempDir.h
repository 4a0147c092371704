#pragma once
#include <filesystem>
#include <string>

namespace tharvel::test {

// A fresh directory under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "tharvel-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Small file helpers for tests.
void writeFile(const std::filesystem::path& file, const std::string& bytes);
std::string readFile(const std::filesystem::path& file);

}  // namespace tharvel::test
