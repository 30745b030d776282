#include "cli/Report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "base/Text.h"

namespace cli {
namespace {

fleet::CameraReport Sample() {
  fleet::CameraReport r;
  r.host = "127.0.9.7";
  r.port = 8080;
  r.user = "admin";
  r.name = "Gate, \"north\"";
  r.action = fleet::Action::kSet;
  r.status = fleet::Status::kSetSuccess;
  r.ok = true;
  r.message = "Set success, camera rebooting.";
  r.before = fleet::Orientation{false, true};
  r.wanted = fleet::Orientation{true, true};
  r.after = fleet::Orientation{true, true};
  r.elapsedMs = 42;
  return r;
}

TEST(CliReport, JsonLineHasEveryField) {
  const fleet::CameraReport r = Sample();
  const std::string line = fleet::JsonLine(r);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(
      line,
      "{\"index\":1,\"address\":\"127.0.9.7\",\"port\":8080,\"user\":\"admin\",\"name\":\"Gate, "
      "\\\"north\\\"\",\"action\":\"set\",\"outcome\":\"set\","
      "\"ok\":true,\"message\":\"Set success, camera rebooting.\",\"cause\":\"none\","
      "\"flip_before\":false,"
      "\"mirror_before\":true,\"flip_wanted\":true,\"mirror_wanted\":true,"
      "\"flip_after\":true,\"mirror_after\":true,\"elapsed_ms\":42}");

  // The same fields as CSV; empty cells for what is unknown or absent.
  EXPECT_EQ(
      fleet::CsvHeader(),
      "index,address,port,user,name,location,action,outcome,ok,message,cause,request,detail,note,"
      "flip_before,mirror_before,flip_wanted,mirror_wanted,flip_after,mirror_after,verified,"
      "login,auth,elapsed_ms\r\n");
  EXPECT_EQ(fleet::CsvRow(r),
            "1,127.0.9.7,8080,admin,\"Gate, \"\"north\"\"\",,set,set,true,\"Set success, camera "
            "rebooting.\",none,,,,false,true,true,true,true,true,,,,42\r\n");

  fleet::CameraReport failed;
  failed.host = "127.0.9.8";
  failed.port = 80;
  failed.action = fleet::Action::kQuery;
  failed.status = fleet::Status::kDeviceTypeNVR;
  failed.message = "Device type error NVR!";
  failed.cause = Cause::kDeadline;
  failed.request = Request::kGetMotorRange;
  failed.detail = "getmotorrange: cut off by the deadline of 30 s";
  failed.verified = false;
  const auto j = nlohmann::json::parse(fleet::JsonLine(failed));
  EXPECT_EQ(j["outcome"], "device-type-nvr");
  EXPECT_EQ(j["ok"], false);
  EXPECT_TRUE(j["flip_before"].is_null());
  EXPECT_TRUE(j["mirror_after"].is_null());
  EXPECT_EQ(j["message"], "Device type error NVR!");
  EXPECT_EQ(j["cause"], "deadline");
  EXPECT_EQ(j["request"], "getmotorrange");
  EXPECT_EQ(j["detail"], "getmotorrange: cut off by the deadline of 30 s");
  EXPECT_EQ(j["verified"], false);
  // The cause leads in the table, the dialog's text follows.
  const std::string table = FormatTable({failed});
  EXPECT_NE(table.find("FAILED  deadline  -     -       0 ms  getmotorrange: cut off by the "
                       "deadline of 30 s (Device type error NVR!)\n"),
            std::string::npos)
      << table;
}

TEST(CliReport, TableColumnsLineUp) {
  fleet::CameraReport a = Sample();
  fleet::CameraReport b;
  b.host = "127.168.100.200";
  b.port = 65535;
  b.action = fleet::Action::kDryRun;
  b.status = fleet::Status::kCameraTypeError;
  b.message = "Query camera info - get camera type error";
  b.elapsedMs = 12345;
  fleet::CameraReport c = Sample();
  c.after.reset();
  c.before = fleet::Orientation{true, false};
  const std::string table = FormatTable({a, b, c});
  std::istringstream lines(table);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 4u);
  // Every column starts where its header starts; times end where theirs ends.
  const size_t action = rows[0].find("ACTION");
  const size_t flip = rows[0].find("FLIP");
  const size_t message = rows[0].find("MESSAGE");
  const size_t timeEnd = rows[0].find("TIME") + 4;
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][action - 2], ' ') << rows[i];
    EXPECT_NE(rows[i][action], ' ') << rows[i];
    EXPECT_NE(rows[i][flip], ' ') << rows[i];
    EXPECT_NE(rows[i][message], ' ') << rows[i];
    EXPECT_EQ(rows[i].substr(timeEnd - 2, 2), "ms") << rows[i];
  }
  EXPECT_EQ(rows[1].substr(flip, 7), "off->on");
  EXPECT_EQ(rows[2].substr(flip, 2), "- ");
  EXPECT_NE(rows[2].find("FAILED"), std::string::npos);
  EXPECT_EQ(rows[3].substr(flip, 3), "on ");
  EXPECT_EQ(rows[2].substr(message), "Query camera info - get camera type error");

  // On a terminal FAILED is red and the columns after it still line up; the failures follow.
  const std::string coloured = FormatTable({a, b, c}, true);
  EXPECT_NE(coloured.find("\033[1;31mFAILED\033[0m  -"), std::string::npos) << coloured;
  EXPECT_EQ(coloured.find("MESSAGE") - coloured.find("CAMERA"),
            coloured.rfind("Query camera info") - coloured.find("127.168.100.200") -
                std::string("\033[1;31m\033[0m").size());
  b.cause = Cause::kChipType;
  b.detail = "chip type 73: this model's orientation cannot be set with this tool";
  EXPECT_EQ(FormatFailures({a, b, c}),
            "\nFailed (1):\n  127.168.100.200:65535  chip-type  chip type 73: this model's "
            "orientation cannot be set with this tool\n");
  EXPECT_EQ(FormatFailures({a, c}), "");

  EXPECT_EQ(FormatSummary({a, b, c}, 2500), "3 cameras: 2 ok, 1 failed, 2.5 s");

  // Columns line up on screen, whatever the bytes: accents (one composed, one combining),
  // wide characters, and the list's own columns, which rows without them show as "-".
  a.name =
      "K\xC3\xBC"
      "che";
  b.name = "\xE6\x9D\xB1\xE4\xBA\xAC";
  c.name =
      "Entre\xCC\x81"
      "e";
  a.extra = {{"zone", "Nord"}, {"serial", "S-1"}};
  c.extra = {{"serial", "\xE6\x9D\xB1-2"}};
  rows.clear();
  std::istringstream wide(FormatTable({a, b, c}));
  for (std::string line; std::getline(wide, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].rfind("CAMERA                 NAME    LOCATION  ZONE  SERIAL  ACTION", 0), 0u)
      << rows[0];
  const size_t shown = tw::DisplayWidth(rows[0].substr(0, rows[0].find("ACTION")));
  for (size_t i = 1; i < rows.size(); ++i) {
    const size_t at = rows[i].find(i == 2 ? "dry-run" : "set");
    EXPECT_EQ(tw::DisplayWidth(rows[i].substr(0, at)), shown) << rows[i];
  }
  EXPECT_NE(rows[2].find("-         -     -       dry-run"), std::string::npos) << rows[2];
  EXPECT_EQ(tw::DisplayWidth("\xE6\x9D\xB1\xE4\xBA\xAC"), 4u);
  EXPECT_EQ(tw::Printable("a\x1b[2Jb\xFF"), "a?[2Jb?");

  // The list's own columns close the JSON line and the CSV row, under their own names.
  EXPECT_NE(fleet::JsonLine(a).find("\"elapsed_ms\":42,\"zone\":\"Nord\",\"serial\":\"S-1\"}"),
            std::string::npos);
  EXPECT_EQ(fleet::CsvHeader({"serial", "zone"}).substr(fleet::CsvHeader().size() - 2),
            ",serial,zone\r\n");
  EXPECT_EQ(fleet::CsvRow(c, {"zone", "serial"}).substr(fleet::CsvRow(c).size() - 2),
            ",,\xE6\x9D\xB1-2\r\n");
  b.status = fleet::Status::kNotStarted;
  EXPECT_EQ(FormatSummary({a, b}, 100), "2 cameras: 1 ok, 1 failed (1 not started), 0.1 s");
}

// Lines from many threads arrive whole, and progress goes to the error stream only when asked.
TEST(CliReport, ReporterWritesWholeLines) {
  std::ostringstream out;
  std::ostringstream err;
  Reporter reporter(out, err, ReportFormat::kJson, /*showProgress=*/false);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&reporter, t] {
      for (int i = 0; i < 50; ++i) {
        fleet::CameraReport r = Sample();
        r.port = 1000 * (t + 1) + i;
        reporter.OnReport(r);
      }
    });
  }
  fleet::Progress p;
  p.total = 400;
  for (int i = 0; i < 20; ++i) reporter.OnTick(p);
  for (auto& t : threads) t.join();
  std::istringstream lines(out.str());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
  }
  EXPECT_EQ(count, 400);
  reporter.Finish({}, 0);
  EXPECT_EQ(err.str(), "");
  EXPECT_FALSE(reporter.OutputFailed());

  std::ostringstream tableOut;
  std::ostringstream progressErr;
  Reporter table(tableOut, progressErr, ReportFormat::kTable, /*showProgress=*/true);
  p.done = 1;
  p.stopping = true;
  p.running = 3;
  table.OnReport(Sample());
  table.OnTick(p);
  EXPECT_EQ(tableOut.str(), "");  // the table comes at the end, in list order
  EXPECT_NE(progressErr.str().find("1/400 done"), std::string::npos);
  EXPECT_NE(progressErr.str().find("stopping: 3 camera(s) under way will finish"),
            std::string::npos);
  // Drawn over itself, cleared to nothing: a shorter text blanks what the longer one left.
  std::ostringstream screen;
  ProgressLine line(screen);
  line.Draw("12/40 done");
  line.Draw("3/4");
  line.Clear();
  line.Clear();
  EXPECT_EQ(screen.str(), "\r12/40 done\r3/4       \r          \r");
  table.Finish({Sample()}, 1000);
  EXPECT_NE(tableOut.str().find("127.0.9.7:8080"), std::string::npos);
  EXPECT_NE(tableOut.str().find("1 camera: 1 ok, 0 failed, 1.0 s"), std::string::npos);
}

TEST(CliReport, FailedOutputIsNoticed) {
  std::ostringstream out;
  std::ostringstream err;
  out.setstate(std::ios::badbit);
  Reporter reporter(out, err, ReportFormat::kJson, false);
  reporter.OnReport(Sample());
  EXPECT_TRUE(reporter.OutputFailed());
}

}  // namespace
}  // namespace cli
