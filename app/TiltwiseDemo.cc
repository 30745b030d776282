// tiltwise-demo: the dialog program without a window, against a simulated camera on loopback.
// A scripted user fills in the dialog, queries, ticks Flip, sets, queries again and quits;
// each step prints what the dialog shows. Only 127.0.0.1 is ever contacted.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "app/TiltwiseApp.h"
#include "app/TiltwiseDlg.h"
#include "camsim/CameraSim.h"
#include "res/version.h"
#include "ui/backends/headless.h"

namespace {

const char kUsage[] =
    "Usage: tiltwise-demo [--show-requests]\n"
    "\n"
    "Runs the Tiltwise dialog without a window against a camera simulator on\n"
    "127.0.0.1 (a free port the system picks). A scripted user types the\n"
    "simulator's address and port, presses Query, ticks Flip, presses Set,\n"
    "presses Query again and closes the dialog; each step prints what the\n"
    "dialog shows. No address other than 127.0.0.1 is contacted.\n"
    "\n"
    "Options:\n"
    "  --show-requests  also print the requests the simulated camera received\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Exit status: 0 when every step shows what a working camera should,\n"
    "1 when a step does not or the output cannot be written, 2 for a usage error.\n";

const char* Tick(int check) {
  return check ? "[x]" : "[ ]";
}

class Demo {
 public:
  explicit Demo(camsim::CameraSimulator& sim) : sim_(sim), ui_(ui::Headless()) {}

  void Script(ui::HeadlessDialog& d) {
    std::printf("Dialog \"%s\" open: Camera IP %s, User name %s, Password %s, HTTP Port %s\n",
                d.Caption().c_str(), d.Text(IDC_EDIT_CAMERAIP).c_str(),
                d.Text(IDC_EDIT_USERNAME).c_str(), d.Shown(IDC_EDIT_PASSWORD).c_str(),
                d.Text(IDC_EDIT_HTTPPORT).c_str());
    std::string port = std::to_string(sim_.port());
    Expect(d.Type(IDC_EDIT_CAMERAIP, "127.0.0.1") && d.Type(IDC_EDIT_HTTPPORT, port), "typing");
    std::printf("Typed Camera IP 127.0.0.1 and HTTP Port %s\n", port.c_str());

    Press(d, IDC_BUTTON_QUERY, "Query", nullptr);
    ExpectBoxes(d, 0, 1);
    Expect(d.Click(IDC_CHECK_FLIP), "ticking Flip");
    std::printf("Ticked Flip: Flip %s, Mirror %s\n", Tick(d.Check(IDC_CHECK_FLIP)),
                Tick(d.Check(IDC_CHECK_MIRROR)));
    Press(d, IDC_BUTTON_SET, "Set", "Set success, camera rebooting.");
    Press(d, IDC_BUTTON_QUERY, "Query", nullptr);
    ExpectBoxes(d, 1, 1);

    ui_.QueueAnswer(IDYES);
    size_t before = ui_.messageBoxes().size();
    d.CloseBox();
    if (ui_.messageBoxes().size() == before + 1) {
      const ui::MessageBoxRecord& box = ui_.messageBoxes().back();
      std::printf("Pressed the close box: \"%s\" (caption \"%s\") answered Yes\n", box.text.c_str(),
                  box.caption.c_str());
    }
    Expect(!d.IsOpen(), "closing the dialog");
  }

  bool ok() const { return ok_; }

 private:
  void Expect(bool condition, const char* what) {
    if (!condition) {
      std::printf("  unexpected: %s\n", what);
      ok_ = false;
    }
  }

  // Presses a button and prints the message box it shows, if any.
  void Press(ui::HeadlessDialog& d, int id, const char* name, const char* expected) {
    size_t before = ui_.messageBoxes().size();
    Expect(d.Click(id), name);
    if (ui_.messageBoxes().size() == before) {
      std::printf("Pressed %s: no message; Flip %s, Mirror %s\n", name,
                  Tick(d.Check(IDC_CHECK_FLIP)), Tick(d.Check(IDC_CHECK_MIRROR)));
      Expect(expected == nullptr, "a message was expected");
      return;
    }
    const ui::MessageBoxRecord& box = ui_.messageBoxes().back();
    std::printf("Pressed %s: message box \"%s\" (caption \"%s\", style %u)\n", name,
                box.text.c_str(), box.caption.c_str(), box.style);
    Expect(expected != nullptr && box.text == expected, "a different outcome");
  }

  void ExpectBoxes(ui::HeadlessDialog& d, int flip, int mirror) {
    Expect(d.Check(IDC_CHECK_FLIP) == flip && d.Check(IDC_CHECK_MIRROR) == mirror,
           "the check boxes should show the camera's settings");
  }

  camsim::CameraSimulator& sim_;
  ui::HeadlessBackend& ui_;
  bool ok_ = true;
};

// Output that never arrived is a failure: a script reading it would see nothing.
int Finish(int code) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tiltwise-demo: cannot write the output: %s\n", std::strerror(errno));
    return code == 0 ? 1 : code;
  }
  return code;
}

}  // namespace

int main(int argc, char* argv[]) {
  bool showRequests = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return Finish(0);
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tiltwise-demo %s\n", TILTWISE_VERSION_STR);
      return Finish(0);
    }
    if (std::strcmp(argv[i], "--show-requests") == 0) {
      showRequests = true;
      continue;
    }
    std::fprintf(stderr, "tiltwise-demo: unknown option '%s'\n\n%s", argv[i], kUsage);
    return 2;
  }

  camsim::SimulatorOptions options;
  options.bind_address = "127.0.0.1";
  options.port = 0;
  options.flip = 0;
  options.mirror = 1;
  camsim::CameraSimulator sim(options);
  std::string error;
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "tiltwise-demo: cannot start the camera simulator: %s\n", error.c_str());
    return 1;
  }
  std::printf("Camera simulator on %s: flip %d, mirror %d\n", sim.address().c_str(), options.flip,
              options.mirror);
  std::fflush(stdout);

  CTiltwiseApp app;
  Demo demo(sim);
  ui::Headless().PushModalScript([&demo](ui::HeadlessDialog& d) { demo.Script(d); });
  int code = AfxWinMain(argc, argv);

  std::optional<camsim::CameraState> state = sim.state(sim.port());
  bool ok = demo.ok() && code == 0 && state && state->flip == 1 && state->mirror == 1;
  if (state) std::printf("Camera now: flip %d, mirror %d\n", state->flip, state->mirror);
  sim.Stop();
  if (showRequests) {
    std::printf("Requests the camera received:\n");
    for (const camsim::RequestRecord& r : sim.requests()) {
      std::printf("  %s\n", camsim::FormatRecord(r).c_str());
    }
  }
  std::printf("Result: %s\n", ok ? "as expected" : "NOT as expected");
  return Finish(ok ? 0 : 1);
}
