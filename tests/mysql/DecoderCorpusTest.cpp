#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/MySqlDecoders.h"
#include "support/TempDir.h"

// Replays the saved fuzzing corpus through the decoders: under the sanitizers a read
// past a buffer or undefined behaviour fails the run.
TEST(MySqlDecoders, SavedFuzzCorpusDecodesSafely) {
    std::filesystem::path dir = std::filesystem::path(THARVEL_SOURCE_DIR) / "tests/fuzz/corpus";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string bytes = tharvel::test::readFile(entry.path());
        tharvel::fuzz::decodeOne(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        // Every prefix as well: truncation is the commonest malformation.
        for (size_t n = 0; n < bytes.size() && n < 512; ++n)
            tharvel::fuzz::decodeOne(reinterpret_cast<const uint8_t*>(bytes.data()), n);
        ++files;
    }
    EXPECT_GE(files, 9u);
}
