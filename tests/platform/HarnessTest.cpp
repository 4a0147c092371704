#include <gtest/gtest.h>

#include "support/MariaDb.h"

using tharvel::test::MariaDb;

TEST(TestHarness, SharedServerAnswersAndKeepsDatabasesApart) {
    MariaDb& db = MariaDb::shared();
    std::string a = db.freshDatabase("harness");
    std::string b = db.freshDatabase("harness");
    EXPECT_NE(a, b);
    EXPECT_EQ(db.sql("SELECT 6*7;"), "42\n");
    EXPECT_EQ(db.sql("SELECT @@system_time_zone;"), "CET\n");
}
