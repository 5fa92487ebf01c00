#include <gtest/gtest.h>

#include "platform/headless.h"
#include "simulation/NumberText.h"

namespace {

TEST(NumberText, FifteenSignificantDigitsWithoutTrailingZeros) {
    headless::SetDecimalSeparator('.');
    EXPECT_EQ(NumberText(123.456789L), "123.456789");
    EXPECT_EQ(NumberText(250.0L), "250");
    EXPECT_EQ(NumberText(0.0L), "0");
    EXPECT_EQ(NumberText(2.5L), "2.5");
    EXPECT_EQ(NumberText(1.0L / 3.0L), "0.333333333333333");
    EXPECT_EQ(NumberText(2.0L / 3.0L), "0.666666666666667"); // rounded at the 15th digit, not cut
    EXPECT_EQ(NumberText(123456789012345.6L), "123456789012346");
    // Digits an extended value has beyond double precision are not shown.
    EXPECT_EQ(NumberText(0.1L), "0.1");
    // Exact values with more than 15 digits: a formatting that cuts, rounds halves up, or rounds through
    // double first gets one of these wrong.
    EXPECT_EQ(NumberText(0x1p-30L), "9.31322574615479e-10");            // 9.31322574615478515625e-10
    EXPECT_EQ(NumberText(1234567890123445.0L), "1.23456789012344e+15"); // a tie: to the even digit
    EXPECT_EQ(NumberText(1234567890123445.0L + 0x1p-12L), "1.23456789012345e+15"); // beyond double's 53 bits
}

TEST(NumberText, ScientificBelowOneTenThousandthAndFromTenToTheFifteenth) {
    headless::SetDecimalSeparator('.');
    EXPECT_EQ(NumberText(0.0001L), "0.0001");
    EXPECT_EQ(NumberText(0.0345678L), "0.0345678");
    EXPECT_EQ(NumberText(0.0000999L), "9.99e-05");
    EXPECT_EQ(NumberText(1e-5L), "1e-05");
    EXPECT_EQ(NumberText(999999999999999.0L), "999999999999999");
    EXPECT_EQ(NumberText(1e15L), "1e+15");
    EXPECT_EQ(NumberText(1.5e20L), "1.5e+20");
    // The form is chosen by the rounded value, not by the value before rounding.
    EXPECT_EQ(NumberText(999999999999999.5L), "1e+15");
    EXPECT_EQ(NumberText(0.0001L - 0x1p-70L), "0.0001");
}

TEST(NumberText, TheDecimalSeparatorIsTheUsers) {
    headless::SetDecimalSeparator(',');
    EXPECT_EQ(NumberText(123.456789L), "123,456789");
    EXPECT_EQ(NumberText(1.25e-7L), "1,25e-07");
    EXPECT_EQ(NumberText(250.0L), "250");
    headless::SetDecimalSeparator('.');
}

} // namespace
