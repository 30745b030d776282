#include "fleet/Targets.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fleet/Csv.h"

namespace fleet {
namespace {

TEST(CliTargets, AddressesAreStrictDottedQuads) {
  Target t;
  std::string error;
  ASSERT_TRUE(ParseTarget("127.168.1.20", &t, &error)) << error;
  EXPECT_EQ(t.host, "127.168.1.20");
  EXPECT_EQ(t.port, 80);
  ASSERT_TRUE(ParseTarget("1.0.0.0:65535", &t, &error)) << error;
  EXPECT_EQ(t.port, 65535);
  // Addresses of no single host: 0.0.0.0/8 reaches this machine.
  for (const char* none :
       {"0.0.0.0:80", "0.1.2.3", "224.0.0.1", "239.255.255.255", "255.255.255.255"}) {
    EXPECT_FALSE(ParseTarget(none, &t, &error)) << none;
    EXPECT_NE(error.find("names no camera"), std::string::npos) << error;
  }
  EXPECT_TRUE(ParseTarget("223.255.255.255", &t, &error)) << error;
  EXPECT_TRUE(ParseTarget("240.0.0.1", &t, &error)) << error;
  ASSERT_TRUE(ParseTarget("127.0.0.1:1", &t, &error));
  EXPECT_EQ(t.port, 1);

  // The address's own forms are the address type's tests; here names, an octal form, and
  // ports that wrap or are out of range.
  for (const char* bad : {"", "01.2.3.4", "1.2.3.4 ", "camera.local", "1.2.3.4:", "1.2.3.4:0",
                          "1.2.3.4:65536", "1.2.3.4:080", "1.2.3.4:8o", "1.2.3.4:80:81",
                          "1.2.3.4:-1", "[::1]:80", "1.2.3.4:99999999999"}) {
    EXPECT_FALSE(ParseTarget(bad, &t, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  ASSERT_FALSE(ParseTarget("127.0.9.1:70000", &t, &error));
  EXPECT_NE(error.find("70000"), std::string::npos) << error;
  EXPECT_NE(error.find("1-65535"), std::string::npos) << error;
}

TEST(CliTargets, OnOffAndDuplicates) {
  bool v = false;
  for (const char* on : {"on", "ON", "1", "yes", "True"}) {
    EXPECT_TRUE(ParseOnOff(on, &v) && v) << on;
  }
  for (const char* off : {"off", "Off", "0", "no", "FALSE"}) {
    EXPECT_TRUE(ParseOnOff(off, &v) && !v) << off;
  }
  for (const char* bad : {"", "2", "o", "onn", " on"}) EXPECT_FALSE(ParseOnOff(bad, &v)) << bad;

  std::vector<Target> targets(4);
  targets[0] = {"127.0.9.5", 80, {}, {}, {}, "a.csv:3", {}, {}};
  targets[1] = {"127.0.9.5", 81, {}, {}, {}, "a.csv:4", {}, {}};
  targets[2] = {"127.0.9.6", 80, {}, {}, {}, "argument 1", {}, {}};
  targets[3] = {"127.0.9.5", 80, {}, {}, {}, "a.csv:7", {}, {}};
  const std::vector<std::string> errors = FindDuplicates(targets);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "a.csv:7: 127.0.9.5:80 is named more than once (also a.csv:3)");
}

TEST(CliCsv, SplitsQuotedFields) {
  std::vector<std::string> f;
  std::string error;
  ASSERT_TRUE(SplitCsvLine("a,,\"b,c\",\"say \"\"hi\"\"\", \"d\" ,", &f, &error)) << error;
  EXPECT_EQ(f, (std::vector<std::string>{"a", "", "b,c", "say \"hi\"", "d", ""}));
  EXPECT_FALSE(SplitCsvLine("\"open", &f, &error));
  EXPECT_FALSE(SplitCsvLine("\"a\"b,c", &f, &error));
  EXPECT_FALSE(SplitCsvLine("a\"b", &f, &error));

  // What the writer makes, the reader takes back; a line break would split the row.
  const std::vector<std::string> cells = {"plain", "a,b", "say \"hi\"", " pad", ""};
  std::string line;
  for (const std::string& c : cells) line += (line.empty() ? "" : ",") + CsvCell(c);
  ASSERT_TRUE(SplitCsvLine(line, &f, &error)) << error;
  EXPECT_EQ(f, cells);
  EXPECT_EQ(CsvCell("plain"), "plain");
  EXPECT_EQ(CsvCell("two\r\nlines"), "\"two  lines\"");
}

TEST(CliCsv, ReadsListWithCommentsDefaultsAndPerCameraValues) {
  std::istringstream in(
      "\xEF\xBB\xBF# site B\r\n"
      "\n"
      "Host, Port ,user,flip,MIRROR\r\n"
      "127.168.1.20,8080,installer,on,off\r\n"
      "  # a camera taken out\n"
      "127.168.1.21,,,,\n"
      "\"127.168.1.22\",81,\"ad,min\",0,YES\n"
      "127.168.1.23,,,Keep,on\n");
  std::vector<Target> targets;
  std::vector<std::string> errors;
  ReadTargetList(in, "site.csv", &targets, &errors);
  ASSERT_TRUE(errors.empty()) << errors[0];
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets[0].host, "127.168.1.20");
  EXPECT_EQ(targets[0].port, 8080);
  EXPECT_EQ(targets[0].user, std::optional<std::string>("installer"));
  EXPECT_EQ(targets[0].flip, std::optional<Want>(Want::kOn));
  EXPECT_EQ(targets[0].mirror, std::optional<Want>(Want::kOff));
  EXPECT_EQ(targets[0].origin, "site.csv:4");
  EXPECT_EQ(targets[1].port, 80);
  EXPECT_FALSE(targets[1].user.has_value());
  EXPECT_FALSE(targets[1].flip.has_value());
  EXPECT_FALSE(targets[1].mirror.has_value());
  EXPECT_EQ(targets[1].origin, "site.csv:6");
  EXPECT_EQ(targets[2].user, std::optional<std::string>("ad,min"));
  EXPECT_EQ(targets[2].flip, std::optional<Want>(Want::kOff));
  EXPECT_EQ(targets[2].mirror, std::optional<Want>(Want::kOn));
  EXPECT_EQ(targets[3].flip, std::optional<Want>(Want::kKeep));

  // Cells pasted from a spreadsheet bring blanks and tabs along, inside quotes or not.
  std::istringstream pasted("host,port\n\" 127.0.9.7\t\",\t 81 \n\t127.0.9.8 , \"82 \"\n");
  targets.clear();
  ReadTargetList(pasted, "p.csv", &targets, &errors);
  ASSERT_TRUE(errors.empty()) << errors[0];
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].host + ":" + std::to_string(targets[0].port), "127.0.9.7:81");
  EXPECT_EQ(targets[1].host + ":" + std::to_string(targets[1].port), "127.0.9.8:82");

  std::istringstream hostOnly("host\n10.1.1.1\n");
  targets.clear();
  ReadTargetList(hostOnly, "h.csv", &targets, &errors);
  ASSERT_TRUE(errors.empty());
  ASSERT_EQ(targets.size(), 1u);
}

// Each bad line is reported with its file and line number; good lines around it do not hide it.
TEST(CliCsv, ReportsEveryBadLineWithItsNumber) {
  std::istringstream in(
      "host,port,flip\n"
      "127.0.9.1,80,on\n"
      "127.0.9.300,80,on\n"
      "127.0.9.2,0,on\n"
      "127.0.9.3,80,maybe\n"
      "127.0.9.4,80\n"
      "127.0.9.5,\"80,on\n"
      ",80,on\n"
      "127.0.9.6,80,off\n");
  std::vector<Target> targets;
  std::vector<std::string> errors;
  ReadTargetList(in, "fleet.csv", &targets, &errors);
  ASSERT_EQ(errors.size(), 6u);
  EXPECT_EQ(errors[0], "fleet.csv:3: host \"127.0.9.300\" is not a dotted-quad IPv4 address");
  EXPECT_EQ(errors[1], "fleet.csv:4: port \"0\" is not a port number (1-65535)");
  EXPECT_EQ(errors[2], "fleet.csv:5: flip \"maybe\" is not on, off or keep");
  EXPECT_EQ(errors[3], "fleet.csv:6: expected 3 fields as in the header, found 2");
  EXPECT_EQ(errors[4], "fleet.csv:7: a quoted field is not closed");
  EXPECT_EQ(errors[5], "fleet.csv:8: host \"\" is not a dotted-quad IPv4 address");
}

TEST(CliCsv, RejectsUnusableHeadersAndEmptyLists) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "l.csv: no header line (such as \"host,port,flip,mirror\")"},
      {"# only a comment\n\n", "l.csv: no header line (such as \"host,port,flip,mirror\")"},
      {"host,port\n", "l.csv: the list names no camera"},
      {"address,port\n1.2.3.4,80\n",
       "l.csv:1: unknown column \"address\" (known: host, port, user, login, auth, flip, "
       "mirror, name, location, note, status, "
       "chip_type, flip_now, mirror_now)"},
      {"port,flip\n80,on\n", "l.csv:1: the header names no \"host\" column"},
      {"host,mirorr\n1.2.3.4,on\n",
       "l.csv:1: unknown column \"mirorr\" (known: host, port, user, login, auth, flip, "
       "mirror, name, location, note, status, "
       "chip_type, flip_now, mirror_now)"},
      {"host,Flip,flip\n", "l.csv:1: column \"flip\" appears twice"},
      // A password does not belong in a list that is passed around.
      {"host,password\n1.2.3.4,secret\n",
       "l.csv:1: unknown column \"password\" (known: host, port, user, login, auth, flip, "
       "mirror, name, location, note, status, "
       "chip_type, flip_now, mirror_now)"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    std::vector<Target> targets;
    std::vector<std::string> errors;
    ReadTargetList(in, "l.csv", &targets, &errors);
    ASSERT_EQ(errors.size(), 1u) << c.text;
    EXPECT_EQ(errors[0], c.error);
  }
}

}  // namespace
}  // namespace fleet
