// The main dialog against cameras on loopback: the simulator, a scripted server for replies
// the simulator never gives, and a port where nothing listens. Every request goes to
// 127.0.0.1; the address box is filled before any button is pressed.
#include "camsim/CameraSim.h"
#include "tests/ScriptedPeer.h"
#include "tests/TiltwiseTestFixture.h"

namespace {

constexpr char kSetPrefix[] = "/param.cgi?cmd=setmotorrange";
constexpr unsigned kError = MB_OK | MB_ICONERROR;

using tiltwise_test::ScriptedPeer;

class CameraDialogTest : public TiltwiseDialogTest {
 protected:
  camsim::CameraSimulator& StartCamera(camsim::SimulatorOptions options = {}) {
    options.bind_address = "127.0.0.1";
    options.port = 0;
    sim_ = std::make_unique<camsim::CameraSimulator>(options);
    std::string error;
    EXPECT_TRUE(sim_->Start(&error)) << error;
    return *sim_;
  }

  // Points the dialog at 127.0.0.1:port before anything is pressed.
  static void Address(ui::HeadlessDialog& d, int port) {
    ASSERT_TRUE(d.Type(IDC_EDIT_CAMERAIP, "127.0.0.1"));
    ASSERT_TRUE(d.Type(IDC_EDIT_HTTPPORT, std::to_string(port)));
  }

  int SetCommands() const {
    int n = 0;
    for (const camsim::RequestRecord& r : sim_->requests()) n += r.path.rfind(kSetPrefix, 0) == 0;
    return n;
  }

  // The Set press shows `expected` (or nothing, when null) once the wait cursor is gone.
  void ExpectSetShows(ui::HeadlessDialog& d, const char* expected, unsigned style = kError) {
    int begins = ui_.waitCursorBegins();
    std::vector<ui::MessageBoxRecord> boxes = Press(d, IDC_BUTTON_SET);
    EXPECT_EQ(ui_.waitCursorBegins(), begins + 1);
    EXPECT_EQ(ui_.waitCursorDepth(), 0);
    if (!expected) {
      EXPECT_TRUE(boxes.empty()) << boxes[0];
      return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_EQ(boxes[0].caption, style == kError ? "Error" : "Info");
    EXPECT_EQ(boxes[0].style, style);
    EXPECT_EQ(boxes[0].owner, d.handle());
    EXPECT_EQ(boxes[0].waitCursorDepth, 0);
  }

  // A Query that fails with `expected` and leaves every box as it was.
  void ExpectQueryFails(ui::HeadlessDialog& d, const char* expected) {
    Snapshot before = Snap(d);
    std::vector<ui::MessageBoxRecord> boxes = Press(d, IDC_BUTTON_QUERY);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].style, kError);
    EXPECT_EQ(boxes[0].owner, d.handle());
    EXPECT_TRUE(Snap(d) == before);
  }

  std::unique_ptr<camsim::CameraSimulator> sim_;
};

TEST_F(CameraDialogTest, QueryTicksTheBoxesFromTheCamera) {
  camsim::SimulatorOptions options;
  options.flip = 1;
  options.mirror = 0;
  camsim::CameraSimulator& sim = StartCamera(options);
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    d.Click(IDC_CHECK_MIRROR);  // the camera says otherwise
    EXPECT_TRUE(Press(d, IDC_BUTTON_QUERY).empty());
    EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 1);
    EXPECT_EQ(d.Check(IDC_CHECK_MIRROR), 0);
    EXPECT_EQ(dlg.m_bFlip, 1);
    EXPECT_EQ(dlg.m_bMirror, 0);
    EXPECT_EQ(dlg.m_nHttpPort, sim.port());
    EXPECT_EQ(ui_.waitCursorBegins(), 1);
    EXPECT_EQ(ui_.waitCursorDepth(), 0);
  });
  std::vector<camsim::RequestRecord> log = sim.requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].path, "/qx.html");
  EXPECT_EQ(log[1].path, "/param.cgi?cmd=getmotorrange");
}

TEST_F(CameraDialogTest, SetThenQueryRoundTrips) {
  camsim::CameraSimulator& sim = StartCamera();
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    d.Click(IDC_CHECK_FLIP);
    d.Click(IDC_CHECK_MIRROR);
    ExpectSetShows(d, "Set success, camera rebooting.", MB_OK);
    EXPECT_EQ(sim.state(sim.port())->flip, 1);
    EXPECT_EQ(sim.state(sim.port())->mirror, 1);
    EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 1);  // Set never changes the boxes

    d.Click(IDC_CHECK_FLIP);
    d.Click(IDC_CHECK_MIRROR);
    EXPECT_TRUE(Press(d, IDC_BUTTON_QUERY).empty());
    EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 1);
    EXPECT_EQ(d.Check(IDC_CHECK_MIRROR), 1);

    d.Click(IDC_CHECK_MIRROR);
    ExpectSetShows(d, "Set success, camera rebooting.", MB_OK);
  });
  std::vector<camsim::RequestRecord> log = sim.requests();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1].path, "/param.cgi?cmd=setmotorrange&-flip=1&-mirror=1");
  EXPECT_EQ(log[5].path, "/param.cgi?cmd=setmotorrange&-flip=1&-mirror=0");
  EXPECT_EQ(sim.state(sim.port())->mirror, 0);
}

TEST_F(CameraDialogTest, ChipTypesDecideWhatQueryAndSetDo) {
  camsim::SimulatorOptions options;
  options.mirror = 1;
  camsim::CameraSimulator& sim = StartCamera(options);
  const struct {
    int chip;
    const char* query;  // null: Query succeeds
    const char* set;    // null: Set succeeds; "" : Set stops without a word
  } cases[] = {
      {70, "Query camera info - get camera type error", ""},
      {71, nullptr, nullptr},
      {72, "Device type error HV!", "Device type error HV!"},
      {73, "Query camera info - get camera type error", ""},
      {74, "Query camera info - get camera type error", ""},
      {69, nullptr, nullptr},
      {75, nullptr, nullptr},
      {0, nullptr, nullptr},
  };
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "chip_type " << c.chip);
      sim.SetChipType(sim.port(), c.chip);
      sim.SetState(sim.port(), 0, 1);
      d.Click(IDC_CHECK_FLIP);  // flip ticked here, clear on the camera
      if (c.query) {
        ExpectQueryFails(d, c.query);
        EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 1);
      } else {
        EXPECT_TRUE(Press(d, IDC_BUTTON_QUERY).empty());
        EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 0);
        EXPECT_EQ(d.Check(IDC_CHECK_MIRROR), 1);
        d.Click(IDC_CHECK_FLIP);
      }
      int setsBefore = SetCommands();
      if (!c.set) {
        ExpectSetShows(d, "Set success, camera rebooting.", MB_OK);
        EXPECT_EQ(SetCommands(), setsBefore + 1);
        EXPECT_EQ(sim.state(sim.port())->flip, 1);
      } else {
        ExpectSetShows(d, *c.set ? c.set : nullptr);
        EXPECT_EQ(SetCommands(), setsBefore);  // refused before the set command
        EXPECT_EQ(sim.state(sim.port())->flip, 0);
      }
      d.Click(IDC_CHECK_FLIP);
    }
  });
}

TEST_F(CameraDialogTest, MissingInformationPageSkipsTheChipCheck) {
  camsim::SimulatorOptions options;
  options.info_page = false;
  options.chip_type = 73;  // would be refused, were it read
  options.flip = 1;
  camsim::CameraSimulator& sim = StartCamera(options);
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    EXPECT_TRUE(Press(d, IDC_BUTTON_QUERY).empty());
    EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 1);
    d.Click(IDC_CHECK_MIRROR);
    ExpectSetShows(d, "Set success, camera rebooting.", MB_OK);
  });
  EXPECT_EQ(sim.state(sim.port())->mirror, 1);
  EXPECT_EQ(sim.requests()[0].status, 404);
}

TEST_F(CameraDialogTest, Http10RepliesCountForTheProbeOnly) {
  camsim::SimulatorOptions options;
  options.http10 = true;
  camsim::CameraSimulator& sim = StartCamera(options);
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    sim.SetChipType(sim.port(), 73);  // classified: the probe's 1.0 status counts
    ExpectQueryFails(d, "Query camera info - get camera type error");
    ExpectSetShows(d, nullptr);
    EXPECT_EQ(SetCommands(), 0);

    sim.SetChipType(sim.port(), 71);
    ExpectQueryFails(d, "Failed to query camera info");
    d.Click(IDC_CHECK_FLIP);
    ExpectSetShows(d, "Failed to set new Camera PTZ");
    EXPECT_EQ(SetCommands(), 1);
  });
}

TEST_F(CameraDialogTest, WrongCredentialsAreReportedAsFailures) {
  camsim::CameraSimulator& sim = StartCamera();
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    d.Type(IDC_EDIT_PASSWORD, "quillpem");
    d.Click(IDC_CHECK_FLIP);
    ExpectQueryFails(d, "Failed to query camera info");
    ExpectSetShows(d, "Failed to set new Camera PTZ");
  });
  EXPECT_EQ(sim.state(sim.port())->flip, 0);
  for (const camsim::RequestRecord& r : sim.requests()) EXPECT_EQ(r.status, 401) << r.path;
  // One refusal per press: the refused probe ends each procedure, nothing else is asked.
  EXPECT_EQ(sim.request_count(), 2u);
}

TEST_F(CameraDialogTest, DigestCamerasAreQueriedAndSetWithoutLockingThemOut) {
  for (camsim::AuthMode mode : {camsim::AuthMode::kDigest, camsim::AuthMode::kDigestSha256}) {
    camsim::SimulatorOptions options;
    options.auth = mode;
    options.lockout_after = 2;
    options.mirror = 1;
    camsim::CameraSimulator& sim = StartCamera(options);
    CTiltwiseDlg dlg;
    RunDialog(dlg, [&](ui::HeadlessDialog& d) {
      Address(d, sim.port());
      for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(Press(d, IDC_BUTTON_QUERY).empty());
        EXPECT_EQ(d.Check(IDC_CHECK_MIRROR), round % 2 == 0 ? 1 : 0);
        d.Click(IDC_CHECK_MIRROR);
        ExpectSetShows(d, "Set success, camera rebooting.", MB_OK);
      }
      EXPECT_EQ(sim.state(sim.port())->mirror, 0);
      // A wrong password ends in the same message as with Basic, after one refusal.
      d.Type(IDC_EDIT_PASSWORD, "quillpem");
      ExpectQueryFails(d, "Failed to query camera info");
      ExpectSetShows(d, "Failed to set new Camera PTZ");
    });
    int basic = 0;
    for (const camsim::RequestRecord& r : sim.requests())
      basic += r.scheme && std::string(r.scheme) == "basic";
    EXPECT_EQ(basic, 1);  // the one that found out; never again after the challenge
  }
}

TEST_F(CameraDialogTest, SetReplyWithoutSucceedIsAFailure) {
  tiltwise_test::Script script = ScriptedPeer::AnswerAndClose(
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n[Failed]busy\r\n");
  script.answers["/qx.html"] = "HTTP/1.1 200 OK\r\n\r\nvar chip_type=71;\r\n";
  ScriptedPeer camera(script);
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, camera.port());
    d.Click(IDC_CHECK_MIRROR);
    ExpectSetShows(d, "Failed to set new Camera PTZ");
  });
  std::vector<std::string> targets = camera.Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[1], "/param.cgi?cmd=setmotorrange&-flip=0&-mirror=1");
}

TEST_F(CameraDialogTest, NothingListening) {
  tiltwise_test::RefusingPort port;
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, port.port());
    d.Click(IDC_CHECK_MIRROR);
    ExpectQueryFails(d, "Failed to query camera info");
    ExpectSetShows(d, "Device type error NVR!");  // the failed probe is passed over
  });
}

TEST_F(CameraDialogTest, PortThatIsNoNumberStopsBeforeAnythingIsSent) {
  camsim::CameraSimulator& sim = StartCamera();
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    ASSERT_TRUE(Press(d, IDC_BUTTON_QUERY).empty());
    size_t sent = sim.request_count();

    for (int button : {IDC_BUTTON_SET, IDC_BUTTON_QUERY}) {
      SCOPED_TRACE(button == IDC_BUTTON_SET ? "Set" : "Query");
      d.Type(IDC_EDIT_USERNAME, "someone");
      d.Type(IDC_EDIT_HTTPPORT, "80x");
      d.Click(IDC_CHECK_FLIP);
      Snapshot before = Snap(d);
      int waits = ui_.waitCursorBegins();
      std::vector<ui::MessageBoxRecord> boxes = Press(d, button);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, "Please enter an integer.");
      EXPECT_EQ(boxes[0].caption, "Tiltwise");
      EXPECT_EQ(boxes[0].style, MB_OK | MB_ICONEXCLAMATION);
      EXPECT_EQ(boxes[0].owner, d.handle());
      EXPECT_EQ(sim.request_count(), sent);  // not even to the port typed before
      EXPECT_EQ(ui_.waitCursorBegins(), waits);
      EXPECT_TRUE(Snap(d) == before);
      EXPECT_EQ(d.FocusedId(), IDC_EDIT_HTTPPORT);
      EXPECT_EQ(d.SelectionEnd(IDC_EDIT_HTTPPORT), 3);
      EXPECT_EQ(dlg.m_nHttpPort, sim.port());
      EXPECT_EQ(dlg.m_strUserName, "someone");  // exchanged before the port
      EXPECT_EQ(dlg.m_bFlip, d.Check(IDC_CHECK_FLIP));
    }
    EXPECT_EQ(sim.state(sim.port())->flip, 0);

    d.Type(IDC_EDIT_USERNAME, "admin");
    d.Type(IDC_EDIT_HTTPPORT, std::to_string(sim.port()));
    ExpectSetShows(d, "Set success, camera rebooting.", MB_OK);
  });
}

TEST_F(CameraDialogTest, EnterNeitherClosesNorRunsAnything) {
  camsim::CameraSimulator& sim = StartCamera();
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    Address(d, sim.port());
    Snapshot before = Snap(d);
    for (int id : {IDC_EDIT_CAMERAIP, IDC_EDIT_USERNAME, IDC_EDIT_PASSWORD, IDC_EDIT_HTTPPORT,
                   IDC_CHECK_FLIP, IDC_CHECK_MIRROR}) {
      ASSERT_TRUE(d.Focus(id));
      ASSERT_TRUE(d.PressEnter());
      EXPECT_TRUE(d.IsOpen()) << id;
    }
    EXPECT_TRUE(Snap(d) == before);
    EXPECT_EQ(dlg.m_nHttpPort, 80);  // OnOK read nothing either
  });
  EXPECT_EQ(sim.request_count(), 0u);
  EXPECT_EQ(ui_.messageBoxes().size(), 1u);  // the quit question of RunDialog only
}

}  // namespace
