#include <gtest/gtest.h>

#include "dump/SqlIdentifier.h"

namespace tharvel {
namespace {

TEST(SqlIdentifier, QuotesOnlyWhatCannotStandBare) {
    const std::pair<std::string, std::string> cases[] = {
        {"Customer_1", "Customer_1"},
        {"order-2", "`order-2`"},
        {"2010data", "`2010data`"},
        {"with space", "`with space`"},
        {"café", "`café`"},
        {"a_Z9$", "a_Z9$"},
        {"a#b", "`a#b`"},  // the server would read "a" and a comment
        {"a@b", "`a@b`"},
        {"a--b", "`a--b`"},
        {"$x", "`$x`"},
        {"_binary", "`_binary`"},  // character-set introducers
        {"_latin1", "`_latin1`"},
        {"_utf8mb4", "`_utf8mb4`"},
        {"1e5", "`1e5`"},  // numbers in any notation, and digits only
        {"0x41", "`0x41`"},
        {"0b1", "`0b1`"},
        {"123", "`123`"},
        {"e5", "e5"},
        {"x1e5", "x1e5"},
        {"a\nb", "`a\nb`"},
        {"tab\tx", "`tab\tx`"},
        {"order", "`order`"},  // reserved words
        {"Select", "`Select`"},
        {"key", "`key`"},
        {"orders", "orders"},
        {"tick`mark", "`tick``mark`"},  // a backtick inside is doubled
        {"a.b", "`a.b`"},               // a table's own name with a full stop is one name
        {"`x`", "```x```"},
        {"", ""},
    };
    for (const auto& [name, written] : cases) {
        EXPECT_EQ(SqlIdentifier::quotedIfNeeded(name), written) << name;
        EXPECT_EQ(SqlIdentifier::needsQuotes(name), written != name) << name;
    }
}

}  // namespace
}  // namespace tharvel
