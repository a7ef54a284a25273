#include "Timestamp.h"

#include <gtest/gtest.h>

using namespace corlune::server;

namespace {

struct Valid {
    const char* text;
    UnixSeconds seconds;
};

class TimestampValid : public testing::TestWithParam<Valid> {};

TEST_P(TimestampValid, ParsesAndFormatsBack) {
    const auto parsed = parseTimestamp(GetParam().text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, GetParam().seconds);
    EXPECT_EQ(formatTimestamp(*parsed), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Instants, TimestampValid,
    testing::Values(Valid{"1970-01-01T00:00:00Z", 0}, Valid{"2024-03-05T14:07:09Z", 1709647629},
                    Valid{"2024-02-29T00:00:00Z", 1709164800}, Valid{"2000-02-29T23:59:59Z", 951868799},
                    Valid{"1969-12-31T23:59:59Z", -1}, Valid{"9999-12-31T23:59:59Z", 253402300799}));

class TimestampInvalid : public testing::TestWithParam<const char*> {};

TEST_P(TimestampInvalid, IsRefused) {
    EXPECT_FALSE(parseTimestamp(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TimestampInvalid,
    testing::Values("", "2024-03-05T14:07:09", "2024-03-05 14:07:09Z", "2024-03-05T14:07:09.5Z",
                    "2024-03-05T14:07:09+00:00", "2024-03-05t14:07:09z", "2024-03-05T24:00:00Z",
                    "2024-03-05T23:60:00Z", "2024-03-05T23:59:60Z", "2024-13-01T00:00:00Z",
                    "2024-00-10T00:00:00Z", "2024-03-00T00:00:00Z", "2024-04-31T00:00:00Z",
                    "2023-02-29T00:00:00Z", "1900-02-29T00:00:00Z", "+024-03-05T14:07:09Z",
                    "2024-3-5T14:07:09Z", " 2024-03-05T14:07:09Z", "2024-03-05T14:07:09Z ",
                    "2024-03-05T14:0\xd9\xa2:09Z"));

TEST(Timestamp, FormatClampsToFourDigitYears) {
    EXPECT_EQ(formatTimestamp(253402300799 + 10), "9999-12-31T23:59:59Z");
    EXPECT_EQ(formatTimestamp(-62167219200 - 10), "0000-01-01T00:00:00Z");
}

} // namespace
