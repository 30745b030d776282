// The row model and the run files, without a window or a camera.
#include "site/SiteRows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "res/SiteResources.h"
#include "site/RunFiles.h"
#include "site/SiteTestSupport.h"

namespace site {
namespace {

std::vector<SiteRow> Read(const std::string& text, std::vector<std::string>* errors = nullptr) {
  std::istringstream in(text);
  std::vector<std::string> e, notes;
  std::vector<SiteRow> rows = ReadRows(in, "site.csv", errors ? errors : &e, &notes);
  return rows;
}

TEST(SiteRows, CellsShowTheListAndPicksOverrideOnlyTickedRows) {
  std::vector<SiteRow> rows = Read(
      "host,port,user,flip,mirror,name,location\n"
      "127.0.0.1,8001,ops,on,,door,hall\n"
      "127.0.0.2,,,,keep,yard,\n");
  ASSERT_EQ(rows.size(), 2u);
  std::vector<std::string> c = Cells(rows[0], "admin", Pick::kCells, Pick::kCells, false);
  EXPECT_EQ(c[kSiteName], "door");
  EXPECT_EQ(c[kSiteLocation], "hall");
  EXPECT_EQ(c[kSiteAddress], "127.0.0.1:8001");
  EXPECT_EQ(c[kSiteUser], "ops");
  EXPECT_EQ(c[kSiteWantedFlip], "on");
  EXPECT_EQ(c[kSiteWantedMirror], "");
  // The user field stands in for a row without a user; picks only for ticked rows.
  c = Cells(rows[1], "admin", Pick::kOff, Pick::kOn, false);
  EXPECT_EQ(c[kSiteAddress], "127.0.0.2:80");
  EXPECT_EQ(c[kSiteUser], "admin");
  EXPECT_EQ(c[kSiteWantedFlip], "");
  EXPECT_EQ(c[kSiteWantedMirror], "keep");
  c = Cells(rows[1], "admin", Pick::kOff, Pick::kCells, true);
  EXPECT_EQ(c[kSiteWantedFlip], "off");
  EXPECT_EQ(c[kSiteWantedMirror], "keep");
  EXPECT_EQ(WantedFlip(rows[0], Pick::kKeep, true), fleet::Want::kKeep);
  EXPECT_EQ(WantedFlip(rows[0], Pick::kKeep, false), fleet::Want::kOn);

  // Nothing to change is refused by name; a job carries the row's own user.
  fleet::Job job;
  std::string error;
  EXPECT_FALSE(MakeJob(rows[1], "admin", fleet::Mode::kSet, fleet::Want::kKeep, fleet::Want::kKeep,
                       &job, &error));
  EXPECT_NE(error.find("yard: nothing to change"), std::string::npos) << error;
  ASSERT_TRUE(MakeJob(rows[0], "admin", fleet::Mode::kSet, fleet::Want::kOn, fleet::Want::kKeep,
                      &job, &error));
  EXPECT_EQ(job.user, "ops");
  EXPECT_TRUE(job.wanted.flip);
  EXPECT_TRUE(job.keepMirror);
  EXPECT_FALSE(job.keepFlip);
}

TEST(SiteRows, BadListsAreRefusedWholeAndSavedListsReadBack) {
  std::vector<std::string> errors;
  EXPECT_TRUE(Read("host\n999.1.1.1\n", &errors).empty());
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("site.csv:2"), std::string::npos) << errors[0];

  errors.clear();
  std::vector<SiteRow> rows = Read(
      "host,port,user,flip,mirror,name,location,login,auth,cabinet\n"
      "127.0.0.1,8001,,on,,\"door, west\",hall,2,digest,\"P-7, north\"\n"
      "127.0.0.2,8002,,,,,,,,\n",
      &errors);
  ASSERT_EQ(rows.size(), 2u) << (errors.empty() ? "" : errors[0]);
  rows[1].now = fleet::Orientation{true, false};
  rows[1].status = "camera";
  std::ostringstream out;
  // The pick goes into the ticked row's cells as shown.
  WriteRows(out, rows, "admin", Pick::kCells, Pick::kOff, {false, true});
  errors.clear();
  std::vector<SiteRow> again = Read(out.str(), &errors);
  ASSERT_EQ(again.size(), 2u) << out.str();
  EXPECT_EQ(again[0].target.name, "door, west");
  EXPECT_EQ(again[0].target.flip, fleet::Want::kOn);
  EXPECT_FALSE(again[0].target.mirror.has_value());
  EXPECT_EQ(again[1].target.mirror, fleet::Want::kOff);
  EXPECT_EQ(again[1].target.port, 8002);
  EXPECT_EQ(again[1].status, "camera");
  // The login that worked, the camera's Digest and the list's own columns are kept.
  EXPECT_EQ(again[0].target.login, 2);
  EXPECT_TRUE(again[0].target.digest);
  EXPECT_FALSE(again[1].target.login.has_value());
  EXPECT_EQ(again[0].target.extra, (fleet::Cells{{"cabinet", "P-7, north"}}));
  fleet::Job job;
  std::string error;
  ASSERT_TRUE(MakeJob(again[0], "admin", fleet::Mode::kQuery, fleet::Want::kKeep,
                      fleet::Want::kKeep, &job, &error));
  EXPECT_EQ(job.login, 2);
  EXPECT_TRUE(job.digest);
  EXPECT_EQ(job.extra, again[0].target.extra);
}

TEST(SiteRows, QuestionNamesTheValuesOnlyWhenAllAgreeAndProgressReadsAsALine) {
  fleet::Job a;
  a.wanted = {true, false};
  a.keepMirror = true;
  fleet::Job b = a;
  EXPECT_EQ(ApplyQuestion({a, b}), "Change 2 cameras to Flip on? Each set restarts the camera.");
  b.keepMirror = false;
  EXPECT_EQ(ApplyQuestion({a, b}),
            "Change 2 cameras to their wanted values? Each set restarts the camera.");
  a.keepMirror = false;
  EXPECT_EQ(ApplyQuestion({a}),
            "Change 1 camera to Flip on and Mirror off? Each set restarts "
            "the camera.");
  fleet::Progress p;
  p.total = 40;
  p.done = 12;
  p.failed = 1;
  p.restarting = 5;
  EXPECT_EQ(ProgressText(p), "12/40 done, 1 failed, 5 restarting");
}

TEST(RunFiles, FolderFromTheEnvironmentAndNamesNeverReused) {
  EXPECT_EQ(RunsFolderFrom(false, "/x/data", "/home/u", nullptr), "/x/data/tiltwise/runs");
  EXPECT_EQ(RunsFolderFrom(false, "relative", "/home/u", nullptr),
            "/home/u/.local/share/tiltwise/runs");
  EXPECT_EQ(RunsFolderFrom(false, nullptr, nullptr, nullptr), "");
  EXPECT_EQ(RunsFolderFrom(true, "/x", "/h", "C:\\Users\\u\\AppData\\Local"),
            "C:\\Users\\u\\AppData\\Local\\Tiltwise\\runs");

  TempDir dir;
  const std::string folder = dir.path() + "/a/runs";
  RunFiles first, second;
  std::string error;
  ASSERT_TRUE(OpenRunFiles(folder, 1000000000, &first, &error)) << error;
  ASSERT_TRUE(OpenRunFiles(folder, 1000000000, &second, &error)) << error;
  EXPECT_NE(first.stamp, second.stamp);
  EXPECT_EQ(first.stamp.size(), 15u);
  EXPECT_NE(first.backupPath.find(first.stamp + "-backup.jsonl"), std::string::npos);
  EXPECT_NE(first.reportPath.find(first.stamp + "-report.jsonl"), std::string::npos);
  const std::vector<std::string> backups = ListBackups(folder);
  ASSERT_EQ(backups.size(), 2u);
  EXPECT_EQ(backups[0], second.stamp + "-backup.jsonl");  // newest first

  // A folder that cannot be made refuses the run.
  std::ofstream(dir.path() + "/file") << "x";
  RunFiles none;
  EXPECT_FALSE(OpenRunFiles(dir.path() + "/file/runs", 1000000000, &none, &error));
  EXPECT_NE(error.find("cannot be made"), std::string::npos) << error;
}

}  // namespace
}  // namespace site
