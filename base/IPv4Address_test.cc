#include "base/IPv4Address.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using tw::IPv4Address;

// Only the address as typed: a short, octal or hex form would reach another camera.
TEST(IPv4Address, TakesExactlyFourDecimalParts) {
  struct Case {
    const char* text;
    std::uint32_t hostOrder;
  };
  const Case cases[] = {
      {"127.0.0.1", 0x7f000001},
      {"0.0.0.0", 0},
      {"255.255.255.255", 0xffffffff},
      {"127.168.10.100", 0x7fa80a64},
  };
  for (const Case& c : cases) {
    const std::optional<IPv4Address> a = IPv4Address::Parse(c.text);
    ASSERT_TRUE(a) << "[" << c.text << "]";
    EXPECT_EQ(a->hostOrder(), c.hostOrder) << "[" << c.text << "]";
    EXPECT_EQ(a->ToString(), c.text);
  }
  const char* bad[] = {"",           "abc",         "256.1.1.1",   "1.2.3.256",
                       "1.2.3",      "127.1",       "16909060",    "0x7f.0.0.1",
                       "0177.0.0.1", "127.0.0.010", "127.000.0.1", "1.2.3.4.5",
                       "1..2.3",     "1.2.3.4.",    "127.0.0.1x",  " 127.0.0.1",
                       "127.0.0.1 ", "127.0.0.1 x", "127.0.0.1\t", "+1.2.3.4",
                       "1.2.3.1000", "camera",      "1.2.3.-4",    "[::1]"};
  for (const char* text : bad) EXPECT_FALSE(IPv4Address::Parse(text)) << "[" << text << "]";
  // A view ends where it ends, not at a terminator.
  EXPECT_FALSE(IPv4Address::Parse(std::string_view("127.0.0.1\0", 10)));
  EXPECT_TRUE(IPv4Address::Parse(std::string_view("127.0.0.12", 9)));
}

TEST(IPv4Address, NetworkOrderIsTheAddressBytesInOrder) {
  const std::uint32_t n = IPv4Address::FromHostOrder(0x7f000102).netOrder();
  unsigned char bytes[4];
  std::memcpy(bytes, &n, sizeof bytes);
  EXPECT_EQ(bytes[0], 127);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[3], 2);
}

TEST(IPv4Address, PastedBlanksAtTheEndsOnlyAndNoDestinations) {
  EXPECT_EQ(IPv4Address::ParsePasted(" \t127.0.0.1\t ")->ToString(), "127.0.0.1");
  EXPECT_FALSE(IPv4Address::ParsePasted("127.0. 0.1"));
  EXPECT_FALSE(IPv4Address::ParsePasted(" \t "));
  for (const char* text :
       {"0.0.0.0", "0.255.1.2", "224.0.0.1", "239.255.255.255", "255.255.255.255"}) {
    EXPECT_FALSE(IPv4Address::Parse(text)->IsDestination()) << text;
  }
  for (const char* text :
       {"1.0.0.0", "127.0.0.1", "223.255.255.255", "240.0.0.1", "255.255.255.254"}) {
    EXPECT_TRUE(IPv4Address::Parse(text)->IsDestination()) << text;
  }
}

}  // namespace
