#include "app/number_rules.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

constexpr uint16_t untouched = 4321;

uint16_t parsed(const char* text) {
    uint16_t value = untouched;
    EXPECT_TRUE(parse_u16(text, value)) << text;
    return value;
}

void expect_refused(const char* text) {
    uint16_t value = untouched;
    EXPECT_FALSE(parse_u16(text, value)) << text;
    EXPECT_EQ(value, untouched) << text;
}

TEST(ParseU16, AcceptsTheWholeRange) {
    EXPECT_EQ(parsed("0"), 0);
    EXPECT_EQ(parsed("1"), 1);
    EXPECT_EQ(parsed("65535"), 65535);
    EXPECT_EQ(parsed("0000065535"), 65535);
}

TEST(ParseU16, LeadingSpaceAndSignAsAnUnsignedConversion) {
    EXPECT_EQ(parsed(" +7"), 7);
    EXPECT_EQ(parsed("\t\n 12"), 12);
    EXPECT_EQ(parsed("-0"), 0);
    // Any other negative number wraps above 65535.
    expect_refused("-1");
    expect_refused("-65535");
}

TEST(ParseU16, RefusesEverythingElse) {
    expect_refused("");
    expect_refused(" ");
    expect_refused("+");
    expect_refused("-");
    expect_refused("65536");
    expect_refused("4294967295");
    expect_refused("4294967296");  // overflows 32 bits
    expect_refused("99999999999999999999");
    expect_refused("3a");
    expect_refused("x");
    expect_refused("7 ");
    expect_refused("+ 7");
    expect_refused("0x10");
    expect_refused("1.0");
}

struct Pair {
    uint16_t number = 11;
    uint16_t total = 22;
};

TEST(ParseNumberPair, NumberAloneKeepsTheTotal) {
    Pair p;
    ASSERT_TRUE(parse_number_pair("3", p.number, p.total));
    EXPECT_EQ(p.number, 3);
    EXPECT_EQ(p.total, 22);
}

TEST(ParseNumberPair, NumberAndTotal) {
    Pair p;
    ASSERT_TRUE(parse_number_pair("3/12", p.number, p.total));
    EXPECT_EQ(p.number, 3);
    EXPECT_EQ(p.total, 12);
    ASSERT_TRUE(parse_number_pair("0/65535", p.number, p.total));
    EXPECT_EQ(p.number, 0);
    EXPECT_EQ(p.total, 65535);
    ASSERT_TRUE(parse_number_pair(" +1/-0", p.number, p.total));
    EXPECT_EQ(p.number, 1);
    EXPECT_EQ(p.total, 0);
}

TEST(ParseNumberPair, FailureStoresNothing) {
    for (const char* text : {"", "3/", "/12", "3/12/1", "65536/1", "1/65536", "x/1", "1/3a", "/",
                             "4294967296", "1 /2"}) {
        Pair p;
        EXPECT_FALSE(parse_number_pair(text, p.number, p.total)) << text;
        EXPECT_EQ(p.number, 11) << text;
        EXPECT_EQ(p.total, 22) << text;
    }
}

}  // namespace
}  // namespace qv
