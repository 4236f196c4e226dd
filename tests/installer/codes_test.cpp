#include "common/md5.h"
#include "common/text.h"
#include "installer/auth_codes.h"
#include "installer/secrets.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

constexpr std::time_t kDay = 1796601600; // 2026-12-07 00:00 UTC

class Codes : public ::testing::Test {
  protected:
    void SetUp() override { ::tzset(); }
    void TearDown() override {
        tz.reset();
        ::tzset();
    }
    std::unique_ptr<qmtest::ScopedEnv> tz = std::make_unique<qmtest::ScopedEnv>("TZ", "UTC");
};

TEST_F(Codes, SecretsHaveTheirLengthsAndMixedCase) {
    EXPECT_EQ(qm::InstallSecret().size(), 12u);
    EXPECT_EQ(qm::RemovalSecret().size(), 9u);
    EXPECT_EQ(qm::UnlockSecret().size(), 13u);
    for (const std::string& secret :
         {qm::InstallSecret(), qm::RemovalSecret(), qm::UnlockSecret()}) {
        EXPECT_NE(qm::ToLower(secret), secret);
        EXPECT_NE(qm::ToUpper(secret), secret);
    }
}

TEST_F(Codes, DateIsMonthDayYearInLocalTime) {
    EXPECT_EQ(qm::DateDigits(kDay + 3600), "120726");
    qmtest::ScopedEnv west("TZ", "America/New_York");
    ::tzset();
    EXPECT_EQ(qm::DateDigits(kDay + 3600), "120626"); // still the evening before there
}

TEST_F(Codes, InstallCodeIsDigitsThreeToFourteenAndIgnoresCase) {
    std::string digest = qm::Md5Hex("setup-42" + qm::InstallSecret());
    std::string code = qm::InstallCode("Setup-42");
    EXPECT_EQ(code, digest.substr(2, 12));
    EXPECT_TRUE(qm::IsInstallCode("SETUP-42", code));
    EXPECT_TRUE(qm::IsInstallCode("setup-42", qm::ToUpper(code)));
    EXPECT_FALSE(qm::IsInstallCode("setup-43", code));
    EXPECT_FALSE(qm::IsInstallCode("setup-42", code.substr(1)));
}

TEST_F(Codes, RemovalCodeIsTheLastTwelveDigitsAndHoldsForOneDay) {
    std::string digest = qm::Md5Hex("alicehome120726" + qm::RemovalSecret());
    std::string code = qm::RemovalCode("Alice", "HOME", kDay + 600);
    EXPECT_EQ(code, digest.substr(20, 12));
    EXPECT_TRUE(qm::IsRemovalCode("alice", "home", qm::ToUpper(code), kDay + 80000));
    EXPECT_FALSE(qm::IsRemovalCode("alice", "home", code, kDay + 86400)); // the next day
    EXPECT_FALSE(qm::IsRemovalCode("alice", "other", code, kDay));
    std::time_t now = std::time(nullptr);
    EXPECT_TRUE(qm::IsRemovalCode("a", "b", qm::RemovalCode("a", "b", now)));
    EXPECT_FALSE(qm::IsRemovalCode("a", "b", qm::RemovalCode("a", "b", now - 86400)));
}

TEST_F(Codes, UnlockCodeIsTenDigitsComparedExactly) {
    std::string digest = qm::Md5Hex("120726" + qm::UnlockSecret());
    std::string code = qm::UnlockCode(kDay);
    EXPECT_EQ(code, digest.substr(2, 10));
    EXPECT_TRUE(qm::IsUnlockCode(code, kDay + 100));
    EXPECT_FALSE(qm::IsUnlockCode(code, kDay + 86400));
    // Find a day whose code has a letter, and refuse it in upper case.
    std::time_t day = kDay;
    while (qm::ToUpper(qm::UnlockCode(day)) == qm::UnlockCode(day)) {
        day += 86400;
    }
    EXPECT_FALSE(qm::IsUnlockCode(qm::ToUpper(qm::UnlockCode(day)), day));
}

} // namespace
