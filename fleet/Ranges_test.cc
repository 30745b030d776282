#include "fleet/Ranges.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/IPv4Address.h"
#include "fleet/Logins.h"

namespace fleet {
namespace {

std::vector<std::string> Expand(const std::vector<std::string>& texts, std::uint64_t max,
                                std::string* error) {
  std::vector<AddressRange> ranges;
  for (const std::string& t : texts) {
    AddressRange r;
    EXPECT_TRUE(ParseRange(t, &r, error)) << t << ": " << *error;
    ranges.push_back(r);
  }
  std::vector<std::uint32_t> addresses;
  std::vector<std::string> out;
  if (!ExpandRanges(ranges, max, &addresses, error)) return out;
  for (std::uint32_t a : addresses) out.push_back(tw::IPv4Address::FromHostOrder(a).ToString());
  return out;
}

TEST(Ranges, CidrDashAndSingleForms) {
  struct Case {
    const char* text;
    const char* first;
    const char* last;
    std::uint64_t size;
  } cases[] = {
      {"127.0.4.0/24", "127.0.4.1", "127.0.4.254", 254},
      {"127.0.4.77/24", "127.0.4.1", "127.0.4.254", 254},  // host bits cleared
      {"127.0.4.8/30", "127.0.4.9", "127.0.4.10", 2},
      {"127.0.4.8/31", "127.0.4.8", "127.0.4.9", 2},  // no network or broadcast to leave out
      {"127.0.4.9/32", "127.0.4.9", "127.0.4.9", 1},
      {"127.0.0.0/8", "127.0.0.1", "127.255.255.254", 16777214},
      {"127.0.4.10-127.0.5.3", "127.0.4.10", "127.0.5.3", 250},
      {"127.0.4.10-60", "127.0.4.10", "127.0.4.60", 51},
      {"127.0.4.10-10", "127.0.4.10", "127.0.4.10", 1},
      {"127.0.4.255", "127.0.4.255", "127.0.4.255", 1},
  };
  for (const Case& c : cases) {
    AddressRange r;
    std::string error;
    ASSERT_TRUE(ParseRange(c.text, &r, &error)) << c.text << ": " << error;
    EXPECT_EQ(tw::IPv4Address::FromHostOrder(r.first).ToString(), c.first) << c.text;
    EXPECT_EQ(tw::IPv4Address::FromHostOrder(r.last).ToString(), c.last) << c.text;
    EXPECT_EQ(r.size(), c.size) << c.text;
  }
}

TEST(Ranges, RejectsLooseAddressesAndMalformedRanges) {
  for (const char* bad : {"",
                          "127.1",
                          "127.0.0.010",
                          "127.0.0.1 ",
                          " 127.0.0.1",
                          "0x7f.0.0.1",
                          "127.0.0.256",
                          "127.0.0.0/33",
                          "127.0.0.0/024",
                          "127.0.0.0/",
                          "127.0.0.0/-1",
                          "127.0.0.10-9",
                          "127.0.0.10-256",
                          "127.0.0.10-060",
                          "127.0.0.10-",
                          "-127.0.0.1",
                          "127.0.1.5-127.0.0.9",
                          "127.0.0.1-127.0.0.2-3",
                          "127.0.0.0/24-30",
                          "localhost"}) {
    AddressRange r;
    std::string error;
    EXPECT_FALSE(ParseRange(bad, &r, &error)) << bad;
    // The whole text is quoted, so the user sees exactly what was refused.
    EXPECT_NE(error.find("\"" + std::string(bad) + "\""), std::string::npos) << error;
  }
}

TEST(Ranges, ExpansionKeepsOrderDropsOverlapsAndHonoursTheCap) {
  std::string error;
  // Addresses of no single host are left out of a scan.
  std::vector<std::uint32_t> some = {0x00000001u, 0x7f000001u, 0xe0000001u,
                                     0xefffffffu, 0xf0000001u, 0xffffffffu};
  EXPECT_EQ(DropNonDestinations(&some), 4u);
  EXPECT_EQ(some, (std::vector<std::uint32_t>{0x7f000001u, 0xf0000001u}));
  EXPECT_EQ(Expand({"127.0.4.9-11", "127.0.4.8/30", "127.0.4.2"}, 100, &error),
            (std::vector<std::string>{"127.0.4.9", "127.0.4.10", "127.0.4.11", "127.0.4.2"}));

  // A /16 less its two ends fits the default cap; one address past 65,536 does not, even
  // when it is the whole of a second range.
  EXPECT_EQ(Expand({"127.1.0.0/16"}, 65536, &error).size(), 65534u);
  EXPECT_TRUE(Expand({"127.1.0.0-127.1.255.255", "127.2.0.0"}, 65536, &error).empty());
  EXPECT_NE(error.find("65537 addresses, more than 65536"), std::string::npos) << error;
  EXPECT_EQ(Expand({"127.1.0.0-127.1.255.255", "127.2.0.0"}, 65537, &error).size(), 65537u);
  // Overlaps do not count twice, and only what a range adds comes after the earlier ones.
  EXPECT_EQ(Expand({"127.1.0.0/16", "127.1.0.0/16"}, 65536, &error).size(), 65534u);
  std::vector<std::string> want;
  for (int i : {1, 2, 3, 7, 8, 9, 4, 5, 6, 0, 10}) want.push_back("127.0.4." + std::to_string(i));
  EXPECT_EQ(Expand({"127.0.4.1-3", "127.0.4.7-9", "127.0.4.2-8", "127.0.4.0-10"}, 11, &error),
            want);
  // Far over the cap fails without expanding everything first.
  EXPECT_TRUE(Expand({"127.0.0.0/8"}, 65536, &error).empty());

  std::vector<int> ports;
  ASSERT_TRUE(ParsePortList("80,8080,80", &ports, &error));
  EXPECT_EQ(ports, (std::vector<int>{80, 8080}));
  for (const char* bad : {"", "0", "65536", "80,", "08", "80;81", "http"}) {
    EXPECT_FALSE(ParsePortList(bad, &ports, &error)) << bad;
  }
}

TEST(Credentials, FileRulesAndNoPasswordInErrors) {
  std::istringstream good(
      "\xEF\xBB\xBF"
      "admin:first\r\n# a comment\n\ninstaller:pa:ss word\nadmin:first\n");
  std::vector<Credential> logins;
  std::vector<std::string> errors;
  ReadCredentials(good, "c.txt", &logins, &errors);
  EXPECT_TRUE(errors.empty());
  ASSERT_EQ(logins.size(), 2u);  // the repeated set is tried once
  EXPECT_EQ(logins[0].user, "admin");
  EXPECT_EQ(logins[0].password, "first");
  EXPECT_EQ(logins[1].user, "installer");
  EXPECT_EQ(logins[1].password, "pa:ss word");

  std::istringstream bad("nocolonsecret\n:secret2\nadmin:\n" + std::string(70000, 'x') + "\n");
  logins.clear();
  ReadCredentials(bad, "c.txt", &logins, &errors);
  EXPECT_TRUE(logins.empty());
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[2], "c.txt:3: empty password after the colon");
  for (const std::string& e : errors) {
    EXPECT_EQ(e.find("secret"), std::string::npos) << e;
    EXPECT_LT(e.size(), 100u);
  }
}

}  // namespace
}  // namespace fleet
