#include <gtest/gtest.h>

#include "DumpTestSupport.h"
#include "dump/TDumpScript.h"
#include "support/TempDir.h"

namespace tharvel {
namespace {

using test::readFile;
using test::TempDir;

std::string written(std::string_view text) {
    TempDir dir;
    {
        TDumpStream out((dir / "d.sql").string());
        TDumpScript script(out);
        script.DelimitedStatement(text);
        out.Close();
    }
    return readFile(dir / "d.sql");
}

// The delimiter may first occur where the statement ends, and the standard clients
// drop the one CR before each line's LF, so the body's own bytes come back exactly.
TEST(TDumpScript, DelimitedStatementsPickADelimiterTheTextDoesNotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"BEGIN SELECT 1; END", "DELIMITER ;;\r\nBEGIN SELECT 1; END;;\r\nDELIMITER ;\r\n"},
        {"SELECT ';;'", "DELIMITER $$\r\nSELECT ';;'$$\r\nDELIMITER ;\r\n"},
        {"SELECT 1;", "DELIMITER $$\r\nSELECT 1;$$\r\nDELIMITER ;\r\n"},  // ";;" would end it early
        {"SELECT ';;$$'", "DELIMITER //\r\nSELECT ';;$$'//\r\nDELIMITER ;\r\n"},
        {"SELECT ';;$$//;;3'", "DELIMITER ;;4\r\nSELECT ';;$$//;;3';;4\r\nDELIMITER ;\r\n"},
        {"BEGIN\n  SET r = 'a\rb';\r\nEND",
         "DELIMITER ;;\r\nBEGIN\r\n  SET r = 'a\rb';\r\r\nEND;;\r\nDELIMITER ;\r\n"},
        {"SELECT 1\n", "DELIMITER ;;\r\nSELECT 1\r\n;;\r\nDELIMITER ;\r\n"},
    };
    for (const auto& [text, file] : cases) EXPECT_EQ(written(text), file) << text;
}

TEST(TDumpScript, ObjectSettingsAreQuotedLiterals) {
    EXPECT_EQ(TDumpScript::StringLiteral("ANSI_QUOTES,NO_BACKSLASH_ESCAPES"),
              "'ANSI_QUOTES,NO_BACKSLASH_ESCAPES'");
    EXPECT_EQ(TDumpScript::StringLiteral(std::string("a'b\\c\nd\re\0f\x1a", 12)),
              "'a\\'b\\\\c\\nd\\re\\0f\\Z'");
}

}  // namespace
}  // namespace tharvel
