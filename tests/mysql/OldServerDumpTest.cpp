#include <gtest/gtest.h>

#include <vector>

#include "FakeMySqlServer.h"
#include "dump/SqlDump.h"
#include "mysql/MySqlConnection.h"
#include "support/TempDir.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

// One result set of text columns in the 4.1 protocol, sequence numbers from 1.
void sendResult(FakePeer& p, const std::vector<std::string>& columns, const std::vector<std::string>& row,
                uint8_t type = 253) {
    uint8_t seq = 1;
    p.send(seq++, lengthCoded(columns.size()));
    for (const std::string& c : columns) p.send(seq++, columnDefinition41(c, type));
    p.send(seq++, eofPacket());
    std::string values;
    for (const std::string& v : row) values += lengthCodedText(v);
    p.send(seq++, values);
    p.send(seq++, eofPacket());
}

}  // namespace

// No server of version 4 is at hand, so a scripted one: it has no triggers,
// routines, events or transactions to offer, and the dump asks for none of them.
TEST(OldServerDump, AVersion4ServerGetsTheStatementsAndFileOfTablesOnly) {
    std::vector<std::string> statements;
    FakeMySqlServer server([&](FakePeer& p) {
        p.send(0, greeting(41631, true, 10, "4.1.22"));
        p.read();
        p.send(2, okPacket());
        for (;;) {
            auto packet = p.read();
            if (packet.payload.empty() || packet.payload == "\x01") break;
            const std::string text = packet.payload.substr(1);
            statements.push_back(text);
            if (text == "SHOW TABLES")
                sendResult(p, {"Tables_in_shop"}, {"t"});
            else if (text == "SHOW CREATE TABLE t")
                sendResult(p, {"Table", "Create Table"}, {"t", "CREATE TABLE `t` (\n  `id` int(11)\n)"});
            else if (text == "SELECT COUNT(*) FROM t")
                sendResult(p, {"COUNT(*)"}, {"0"}, 8);
            else
                p.send(1, okPacket());
        }
    });
    TempDir dir;
    {
        MySqlConnection c;
        c.setServer("127.0.0.1");
        c.setPort(server.port());
        c.setUsername("u");
        c.setDatabase("shop");
        c.options().setCharset("utf8");
        c.options().setUseUnicode(false);
        c.open();
        SqlDump::Options options;
        options.connection = &c;
        std::vector<std::string> warnings;
        options.onWarning = [&](const std::string& w) { warnings.push_back(w); };
        SqlDump(options).backupToFile((dir / "d.sql").string());
        EXPECT_TRUE(warnings.empty());
    }
    server.join();
    const std::vector<std::string> expected = {"SET NAMES utf8", "SET TIME_ZONE='+00:00'", "SHOW TABLES",
                                               "SHOW CREATE TABLE t", "SELECT COUNT(*) FROM t"};
    EXPECT_EQ(statements, expected);
    const std::string file = readFile(dir / "d.sql");
    const std::string section =
        "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;\r\n"
        "-- \r\n-- Table structure for table  t\r\n-- \r\n\r\nDROP TABLE IF EXISTS t;\r\n"
        "CREATE TABLE `t` (\r\n  `id` int(11)\r\n);\r\n\r\n"
        "-- \r\n-- Dumping data for table t\r\n-- \r\n\r\n\r\n"
        "/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;\r\n";
    EXPECT_NE(file.find(section), std::string::npos) << file;
}
