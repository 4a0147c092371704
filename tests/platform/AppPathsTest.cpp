#include "platform/AppPaths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/TempDir.h"

using tharvel::AppPaths;

TEST(AppPaths, TharvelHomeWinsOverEverything) {
    tharvel::test::TempDir home;
    setenv("THARVEL_HOME", home.path().c_str(), 1);
    EXPECT_EQ(AppPaths::dataDirectory(), home.path());
    unsetenv("THARVEL_HOME");
    // The test binary's own folder is writable here, so it is the default.
    EXPECT_EQ(AppPaths::dataDirectory(), AppPaths::executableDirectory());
}

TEST(AppPaths, TitleIsTheExecutableNameWithoutExtension) {
    EXPECT_EQ(AppPaths::applicationTitle(), "test_platform");
}
