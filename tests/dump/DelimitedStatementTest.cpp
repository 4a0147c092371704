#include <gtest/gtest.h>

#include "DumpTestSupport.h"
#include "dump/DumpScript.h"
#include "support/TempDir.h"

namespace tharvel {
namespace {

using test::readFile;
using test::TempDir;

std::string written(std::string_view text) {
    TempDir dir;
    {
        DumpStream out((dir / "d.sql").string());
        DumpScript script(out);
        script.delimitedStatement(text);
        out.close();
    }
    return readFile(dir / "d.sql");
}

// The delimiter may first occur where the statement ends, and the standard clients
// drop the one CR before each line's LF, so the body's own bytes come back exactly.
TEST(DumpScript, DelimitedStatementsPickADelimiterTheTextDoesNotHold) {
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
    for (const auto& [text, file] : cases) {
        const size_t body = file.find("\r\n") + 2;
        EXPECT_EQ(written("CREATE " + text), file.substr(0, body) + "CREATE " + file.substr(body)) << text;
    }
}

// A server's definition that the restoring client would split, extend or take as a
// client command is refused, never written.
TEST(DumpScript, DefinitionsTheClientWouldMisreadAreRefused) {
    const std::pair<std::string, bool> cases[] = {
        {"CREATE PROCEDURE p() SELECT 'a\\'b', \"c;d\", `e\\`", true},
        {"CREATE PROCEDURE p() BEGIN\n  -- it's a comment\n  # so \" is this\n  SELECT 1; END", true},
        {"CREATE PROCEDURE p() SELECT 'it''s' /*!50100 1 */ -- trailing", true},
        {"CREATE PROCEDURE p() BEGIN\n  delimiter_x = 1; END", true},
        {"create trigger t before insert on a for each row set @x = 1", true},
        {"SELECT 1", false},                                      // not a definition
        {"CREATE PROCEDURE p() BEGIN\n\\! touch x\nEND", false},  // a shell command
        {"CREATE PROCEDURE p() SELECT 1 \\g", false},
        {"CREATE PROCEDURE p() SELECT 'a\\'", false},  // the client reads \\' as a quote
        {"CREATE PROCEDURE p() SELECT `a", false},
        {"CREATE PROCEDURE p() SELECT 1 /* open", false},
        {"CREATE PROCEDURE p() SELECT 1 /*! ' */", false},
        {"CREATE PROCEDURE p() BEGIN\n  DELIMITER ;\nDROP DATABASE x; END", false},
        {"CREATE PROCEDURE p() BEGIN\n\tdelimiter\nEND", false},
    };
    for (const auto& [text, one] : cases) EXPECT_EQ(DumpScript::clientReadsAsOneStatement(text), one) << text;
    EXPECT_THROW(written("CREATE PROCEDURE p() BEGIN\n\\! touch x\nEND"), std::runtime_error);
}

TEST(DumpScript, ObjectSettingsAreQuotedLiterals) {
    EXPECT_EQ(DumpScript::stringLiteral("ANSI_QUOTES,NO_BACKSLASH_ESCAPES"),
              "'ANSI_QUOTES,NO_BACKSLASH_ESCAPES'");
    EXPECT_EQ(DumpScript::stringLiteral(std::string("a'b\\c\nd\re\0f\x1a", 12)),
              "'a\\'b\\\\c\\nd\\re\\0f\\Z'");
}

}  // namespace
}  // namespace tharvel
