// The site window through the headless backend, against simulated cameras on loopback: the
// user's clicks and keys are scripted, the run's news reach the window through posted tasks.
#include "site/SiteDlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "camsim/CameraSim.h"
#include "site/SiteDialogs.h"
#include "site/SiteTestSupport.h"
#include "tests/TestProcess.h"
#include "ui/backends/headless.h"

namespace {

using json = nlohmann::json;
constexpr char kPassword[] = "quillpen";

class SiteDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ui::Headless().Reset());
    previous_ = ui::SetResourceModule(&SiteResources());
  }
  void TearDown() override {
    ui::SetResourceModule(previous_);
    ui::Headless().Reset();
  }

  void StartCameras(int count, int rebootMs = 200) {
    camsim::SimulatorOptions o;
    o.port = 0;
    o.cameras = count;
    o.password = kPassword;
    o.reboot_time = std::chrono::milliseconds(rebootMs);
    sim_ = std::make_unique<camsim::CameraSimulator>(std::move(o));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  int port(int i) const { return sim_->ports().at(static_cast<size_t>(i)); }
  // The ports that got a set since `from` requests, with the set's query.
  std::map<int, std::string> Sets(size_t from = 0) const {
    std::map<int, std::string> sets;
    const auto records = sim_->requests();
    for (size_t i = from; i < records.size(); ++i) {
      if (records[i].path.rfind("/param.cgi?cmd=setmotorrange", 0) == 0)
        sets[records[i].port] += records[i].path;
    }
    return sets;
  }
  // A list of the cameras; `flip` gives the wanted Flip cell of each.
  std::string WriteList(const std::vector<std::string>& flip) {
    std::string text = "host,port,flip,name\n";
    for (size_t i = 0; i < flip.size(); ++i) {
      text += "127.0.0.1," + std::to_string(port(static_cast<int>(i))) + "," + flip[i] + ",cam" +
              std::to_string(i) + "\n";
    }
    const std::string path = dir_.path() + "/site.csv";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string Runs() const { return dir_.path() + "/runs"; }

  // Drains the window's posted tasks until the run has ended (bounded).
  static bool WaitForRun(CSiteDlg& dlg) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
      ui::GetBackend().RunPosted();
      if (!dlg.Running()) {
        ui::GetBackend().RunPosted();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  static std::vector<json> JsonLines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }
  static std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  site::TempDir dir_;
  std::unique_ptr<camsim::CameraSimulator> sim_;
  const ui::ResourceModule* previous_ = nullptr;
};

TEST_F(SiteDlgTest, ApplySetsOnlyTheTickedCamerasThatDifferAndRestorePutsThemBack) {
  StartCameras(6);
  const std::string list = WriteList({"on", "on", "off", "on", "on", "on"});
  CSiteDlg dlg(list, Runs());
  dlg.m_runOptions.verifySettleMs = 0;
  std::string title, question, progress;
  std::vector<std::string> outcomes;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    title = d.Caption();
    ui::ListModel* rows = d.List(IDC_SITE_LIST);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->RowCount(), 6);
    EXPECT_EQ(dlg.rows()[0].outcome, "");  // opened, nothing read
    rows->ClickColumn(4);                  // sorting keeps each tick with its row
    rows->ClickTick(1);
    rows->ClickTick(2);  // its cell wants off; the pick overrides it
    rows->ClickTick(4);
    EXPECT_TRUE(d.Choose(IDC_SITE_FLIP, "on"));
    EXPECT_TRUE(d.Type(IDC_SITE_PASSWORD, kPassword));
    // F5 reads the ticked cameras, and only them.
    EXPECT_TRUE(d.PressKey(ui::win::kVkF5, false));
    ASSERT_TRUE(WaitForRun(dlg));
    EXPECT_EQ(rows->Cell(1, kSiteFlipNow), "off");
    EXPECT_EQ(rows->Cell(1, kSiteChip), "71");  // the run's read names it, no scan needed
    EXPECT_EQ(rows->Cell(0, kSiteFlipNow), "");
    EXPECT_EQ(rows->Cell(0, kSiteChip), "");
    EXPECT_TRUE(Sets().empty());
    ui::Headless().QueueAnswer(IDYES);
    EXPECT_TRUE(d.Click(IDC_SITE_APPLY));
    ASSERT_TRUE(WaitForRun(dlg));
    for (const site::SiteRow& r : dlg.rows()) outcomes.push_back(r.outcome);
    progress = d.Text(IDC_SITE_STATUS);

    // Restore the run just made: the newest is offered first.
    ui::Headless().PushModalScript([](ui::HeadlessDialog& r) { r.Click(IDOK); });
    ui::Headless().QueueAnswer(IDYES);
    const size_t before = sim_->request_count();
    EXPECT_TRUE(d.Click(IDC_SITE_RESTORE));
    ASSERT_TRUE(WaitForRun(dlg));
    const std::map<int, std::string> restored = Sets(before);
    EXPECT_EQ(restored.size(), 3u);
    EXPECT_EQ(restored.count(port(1)), 1u);
    EXPECT_EQ(restored.count(port(4)), 1u);
    EXPECT_NE(restored.at(port(1)).find("flip=0"), std::string::npos) << restored.at(port(1));
    EXPECT_TRUE(d.PressEscape());
  });
  dlg.DoModal();
  EXPECT_EQ(title, "site.csv - Tiltwise site");
  const auto& boxes = ui::Headless().messageBoxes();
  ASSERT_GE(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Change 3 cameras to Flip on? Each set restarts the camera.");
  EXPECT_EQ(outcomes, (std::vector<std::string>{"", "set", "set", "", "set", ""}));
  EXPECT_NE(progress.find("Done: 3 cameras: 3 ok, 0 failed"), std::string::npos) << progress;

  // The backup has a line per camera set before its set; the report one per camera.
  EXPECT_EQ(JsonLines(FileText(dlg.lastBackup())).size(), 3u);
  EXPECT_EQ(JsonLines(FileText(dlg.lastReport())).size(), 3u);  // the restore's
  EXPECT_EQ(site::ListBackups(Runs()).size(), 2u);
  // The password is kept nowhere.
  for (const std::string& name : site::ListBackups(Runs())) {
    EXPECT_EQ(FileText(site::InFolder(Runs(), name)).find(kPassword), std::string::npos);
  }
}

TEST_F(SiteDlgTest, TheRunTellsEachCamerasRestartAndReturnAndTriesTheLoginsInOrder) {
  StartCameras(3);
  std::vector<fleet::Job> jobs(3);
  for (int i = 0; i < 3; ++i) {
    jobs[i].address = *tw::IPv4Address::Parse("127.0.0.1");
    jobs[i].port = port(i);
    jobs[i].user = "admin";
    jobs[i].wanted = fleet::Orientation{true, false};
  }
  fleet::RunOptions options;
  options.mode = fleet::Mode::kSet;
  options.verify = true;
  options.verifySettleMs = 0;
  options.logins = {{"admin", "wrong"}, {"admin", kPassword}};
  std::mutex mu;
  std::map<size_t, std::string> steps;
  std::vector<fleet::CameraReport> reports;
  std::atomic<bool> done{false};
  site::RunEvents events;
  auto step = [&](size_t job, const char* what) {
    std::lock_guard<std::mutex> lock(mu);
    steps[job] += what;
  };
  events.read = [&](size_t job, const fleet::Orientation&, const fleet::Orientation&) {
    step(job, "read ");
    return true;
  };
  events.restarting = [&](size_t job) { step(job, "restarting "); };
  events.back = [&](size_t job) { step(job, "back"); };
  events.done = [&](std::vector<fleet::CameraReport> r) {
    reports = std::move(r);
    done = true;
  };
  site::SiteRun run;
  ASSERT_TRUE(run.Start(jobs, options, events));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  run.Join();
  ASSERT_TRUE(done);
  ASSERT_EQ(reports.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(steps[i], "read restarting back") << i;
    EXPECT_EQ(reports[i].status, fleet::Status::kSetSuccess) << reports[i].message;
    EXPECT_EQ(reports[i].login, 2);  // the first login was refused, the second let it in
  }
}

TEST_F(SiteDlgTest, ACredentialsFileAloneOrAfterAWrongPasswordReadsTheCameras) {
  StartCameras(2);
  const std::string list = WriteList({"on", "on"});
  const std::string credentials = dir_.path() + "/logins.txt";
  std::ofstream(credentials, std::ios::binary) << "# site logins\nadmin:" << kPassword << "\n";
  CSiteDlg dlg(list, Runs());
  std::vector<std::string> alone, after;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    d.List(IDC_SITE_LIST)->PressSelectAll();
    d.Type(IDC_SITE_CREDENTIALS, credentials);
    EXPECT_TRUE(d.PressKey(ui::win::kVkF5, false));
    ASSERT_TRUE(WaitForRun(dlg));
    for (const site::SiteRow& r : dlg.rows()) alone.push_back(r.outcome);
    d.Type(IDC_SITE_PASSWORD, "wrong");
    EXPECT_TRUE(d.PressKey(ui::win::kVkF5, false));
    ASSERT_TRUE(WaitForRun(dlg));
    for (const site::SiteRow& r : dlg.rows()) after.push_back(r.outcome);
    d.Type(IDC_SITE_CREDENTIALS, dir_.path() + "/missing.txt");
    EXPECT_TRUE(d.PressKey(ui::win::kVkF5, false));  // said, nothing sent
    EXPECT_FALSE(dlg.Running());
    d.PressEscape();
  });
  dlg.DoModal();
  EXPECT_EQ(alone, (std::vector<std::string>{"queried", "queried"}));
  EXPECT_EQ(after, (std::vector<std::string>{"queried", "queried"}));
  const auto& boxes = ui::Headless().messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("missing.txt: cannot be read"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].text.find(kPassword), std::string::npos);
  EXPECT_TRUE(Sets().empty());
}

TEST_F(SiteDlgTest, TheReportEqualsTheCliReportOfTheSameList) {
  StartCameras(4);
  const std::string list = WriteList({"on", "on", "off", "on"});
  const std::string backup = dir_.path() + "/cli-backup.jsonl";
  const std::string env = std::string("TILTWISE_PASSWORD=") + kPassword;
  cli_test::Finished cli =
      cli_test::Process(TILTWISE_CLI_PATH,
                        {"set", "--input", list, "--verify", "--verify-settle", "0", "--canary",
                         "1", "--max-restarting", "50", "--json", "--backup", backup},
                        {env})
          .Wait(60000);
  ASSERT_TRUE(cli.exited);
  ASSERT_EQ(cli.status, 0) << cli.err;
  cli_test::Finished back =
      cli_test::Process(TILTWISE_CLI_PATH, {"restore", backup, "--verify", "--verify-settle", "0"},
                        {env})
          .Wait(60000);
  ASSERT_EQ(back.status, 0) << back.err;

  CSiteDlg dlg(list, Runs());
  dlg.m_runOptions.verifySettleMs = 0;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    d.List(IDC_SITE_LIST)->PressSelectAll();
    d.Type(IDC_SITE_PASSWORD, kPassword);
    d.Click(IDC_SITE_APPLY);  // the question's default answer: Yes
    ASSERT_TRUE(WaitForRun(dlg));
    d.PressEscape();
  });
  dlg.DoModal();
  auto byPort = [](const std::vector<json>& lines) {
    std::map<int, json> m;
    for (json j : lines) {
      j.erase("elapsed_ms");
      m[j["port"].get<int>()] = j;
    }
    return m;
  };
  const auto window = byPort(JsonLines(FileText(dlg.lastReport())));
  const auto expected = byPort(JsonLines(cli.out));
  ASSERT_EQ(window.size(), 4u);
  EXPECT_EQ(window, expected);
}

TEST_F(SiteDlgTest, StopLetsTheStartedFinishAndASecondStopAbandonsThem) {
  StartCameras(8, 1500);
  const std::string list = WriteList({"on", "on", "on", "on", "on", "on", "on", "on"});
  CSiteDlg dlg(list, Runs());
  dlg.m_runOptions.verifySettleMs = 0;
  dlg.m_nCanary = 1;  // the first camera alone, then the rest
  std::vector<std::string> outcomes;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    d.List(IDC_SITE_LIST)->PressSelectAll();
    d.Type(IDC_SITE_PASSWORD, kPassword);
    d.Click(IDC_SITE_APPLY);
    // Stopped while the canary restarts: no other camera starts.
    ASSERT_TRUE(sim_->WaitForRequests(3, std::chrono::seconds(10)));
    d.Click(IDC_SITE_STOP);
    EXPECT_NE(d.Text(IDC_SITE_STATUS).find("Stop again"), std::string::npos);
    ASSERT_TRUE(WaitForRun(dlg));
    for (const site::SiteRow& r : dlg.rows()) outcomes.push_back(r.outcome);
    d.PressEscape();
  });
  dlg.DoModal();
  EXPECT_EQ(Sets().size(), 1u);
  EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), "not-started"), 7) << outcomes[0];

  // Closing during a run asks, then abandons the cameras under way.
  ASSERT_TRUE(ui::Headless().Reset());
  CSiteDlg again(list, Runs());
  again.m_runOptions.verifySettleMs = 0;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    d.List(IDC_SITE_LIST)->PressSelectAll();
    d.Type(IDC_SITE_PASSWORD, kPassword);
    ui::Headless().QueueAnswer(IDYES);
    d.Click(IDC_SITE_APPLY);
    ui::Headless().QueueAnswer(IDYES);
    d.CloseBox();
  });
  const auto start = std::chrono::steady_clock::now();
  again.DoModal();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(again.Running());
  ASSERT_GE(ui::Headless().messageBoxes().size(), 2u);
  EXPECT_NE(ui::Headless().messageBoxes()[1].text.find("Stop it and close?"), std::string::npos);
}

TEST_F(SiteDlgTest, ApplyRefusesWithoutAWritableRunsFolderAndSendsNothing) {
  StartCameras(2);
  const std::string list = WriteList({"on", "on"});
  std::ofstream(dir_.path() + "/blocked") << "a file where the folder would be";
  CSiteDlg dlg(list, dir_.path() + "/blocked/runs");
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    d.List(IDC_SITE_LIST)->PressSelectAll();
    d.PressKey(ui::win::kVkReturn, true);  // Ctrl+Enter; no password yet: said, focus on it
    EXPECT_EQ(d.FocusedId(), IDC_SITE_PASSWORD);
    d.Type(IDC_SITE_PASSWORD, kPassword);
    d.PressKey(ui::win::kVkReturn, true);
    EXPECT_FALSE(dlg.Running());
    d.PressEscape();
  });
  dlg.DoModal();
  const auto& boxes = ui::Headless().messageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_NE(boxes[0].text.find("password"), std::string::npos);
  EXPECT_NE(boxes[2].text.find("Nothing was sent"), std::string::npos) << boxes[2].text;
  EXPECT_EQ(sim_->request_count(), 0u);
}

}  // namespace

TEST_F(SiteDlgTest, ScanFillsTheListAsDevicesAreFoundAndKeepsTheTicks) {
  StartCameras(3);
  WriteList({"on"});
  CSiteDlg dlg(dir_.path() + "/site.csv", Runs());
  const std::string request = "127.0.0.1 --port " + std::to_string(port(0)) + "," +
                              std::to_string(port(1)) + "," + std::to_string(port(2)) + "," +
                              std::to_string(cli_test::UnusedPort());
  std::vector<std::string> errors;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    ui::ListModel* rows = d.List(IDC_SITE_LIST);
    rows->ClickTick(0);
    d.Type(IDC_SITE_PASSWORD, kPassword);
    ui::Headless().PushModalScript([&](ui::HeadlessDialog& p) {
      p.Type(IDC_SITE_PROMPT_TEXT, "127.0.0.1/33");
      p.PressEnter();
    });
    d.Click(IDC_SITE_SCAN);  // a bad range: said, nothing scanned
    ui::Headless().PushModalScript([&](ui::HeadlessDialog& p) {
      p.Type(IDC_SITE_PROMPT_TEXT, request);
      p.PressEnter();
    });
    d.Click(IDC_SITE_SCAN);
    ASSERT_TRUE(WaitForRun(dlg));
    ASSERT_EQ(rows->RowCount(), 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(rows->Cell(i, kSiteStatus), "camera");
      EXPECT_EQ(rows->Cell(i, kSiteChip), "71");
      EXPECT_EQ(rows->Cell(i, kSiteFlipNow), "off");
    }
    EXPECT_TRUE(rows->Ticked(0));
    EXPECT_FALSE(rows->Ticked(1));
    EXPECT_EQ(rows->Cell(0, kSiteWantedFlip), "on");  // the list's row, updated in place
    EXPECT_NE(d.Text(IDC_SITE_STATUS).find("Scan done: 4/4 tried, 3 camera(s)"), std::string::npos)
        << d.Text(IDC_SITE_STATUS);
    d.PressEscape();
  });
  dlg.DoModal();
  const auto& boxes = ui::Headless().messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Nothing was scanned"), std::string::npos) << boxes[0].text;
  EXPECT_TRUE(Sets().empty());
}
