#include <gtest/gtest.h>

#include "MySqlTestUtil.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlQuery.h"

using namespace tharvel;
using tharvel::test::connectionTo;
using tharvel::test::MariaDb;

namespace {

std::string scalar(MySqlConnection& c, const std::string& sql) {
    MySqlQuery q(c);
    EXPECT_TRUE(q.open(sql));
    EXPECT_TRUE(q.next());
    return std::string(q.value(q.fieldCount() - 1));
}

}  // namespace

// Rows and statements past the 16 MiB packet limit, with and without compression.
TEST(Compression, LargePayloadsBothWays) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_big");
    db.sql("CREATE TABLE t (id INT PRIMARY KEY, v LONGBLOB);", name);
    const size_t kBig = 16777216 + 1000;
    std::string value(kBig, '\0');
    for (size_t i = 0; i < kBig; ++i) value[i] = static_cast<char>('a' + i % 23);
    for (bool compress : {false, true}) {
        auto c = connectionTo(db, name);
        c->options().setCompress(compress);
        c->open();
        EXPECT_EQ(scalar(*c, "SHOW SESSION STATUS LIKE 'Compression'"), compress ? "ON" : "OFF");
        c->execSql("DELETE FROM t");
        // Out: a statement of more than 16 MiB.
        EXPECT_EQ(c->execSql("INSERT INTO t VALUES (1, '" + value + "'), (2, 'small'), (3, '" + value + "')"),
                  3u);
        EXPECT_EQ(scalar(*c, "SELECT MD5(v) = MD5('" + value + "') FROM t WHERE id = 1"), "1");
        // In: rows of more than 16 MiB, read whole and skipped unread.
        MySqlQuery q(*c);
        ASSERT_TRUE(q.open("SELECT id, v FROM t ORDER BY id"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(1).size(), kBig);
        EXPECT_TRUE(q.value(1) == value) << "compress " << compress;
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(1), "small");
        q.close();  // the third row is skipped
        ASSERT_TRUE(q.open("SELECT v FROM t WHERE id = 3; SELECT COUNT(*) FROM t"));
        q.close();  // neither result is read
        EXPECT_EQ(scalar(*c, "SELECT COUNT(*), 'after' FROM t"), "after");
    }
}

TEST(Compression, ManyRowsAndResults) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_zrows");
    auto c = connectionTo(db, name);
    c->options().setCompress(true);
    c->open();
    MySqlQuery q(*c);
    ASSERT_TRUE(q.open("SELECT seq, REPEAT(CHAR(65 + seq % 26), seq % 300) FROM seq_1_to_20000"));
    uint64_t n = 0;
    while (q.next()) {
        ++n;
        ASSERT_EQ(q.value(0), std::to_string(n));
        ASSERT_EQ(q.value(1), std::string(n % 300, static_cast<char>('A' + n % 26)));
    }
    EXPECT_EQ(n, 20000u);
    ASSERT_TRUE(q.open("SELECT 1; SELECT 2"));
    q.close();
    EXPECT_EQ(scalar(*c, "SELECT 3"), "3");
}
