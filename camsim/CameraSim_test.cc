#include "camsim/CameraSim.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/TestClient.h"

namespace camsim {
namespace {

using camsim_test::Body;
using camsim_test::Exchange;
using camsim_test::Get;
using camsim_test::Reply;
using camsim_test::ToolRequest;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr char kGetRange[] = "/param.cgi?cmd=getmotorrange";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string SetPath(const std::string& flip, const std::string& mirror) {
  return "/param.cgi?cmd=setmotorrange&-flip=" + flip + "&-mirror=" + mirror;
}

// A simulator on a free loopback port, stopped and joined when it goes out of scope.
std::unique_ptr<CameraSimulator> StartSimulator(SimulatorOptions options = {}) {
  options.port = 0;
  auto sim = std::make_unique<CameraSimulator>(std::move(options));
  std::string error;
  EXPECT_TRUE(sim->Start(&error)) << error;
  return sim;
}

TEST(CameraSimulatorTest, ServesTheThreePathsToTheRightCredentials) {
  auto sim = StartSimulator();
  int port = sim->port();
  ASSERT_GT(port, 0);

  Reply info = Get(port, "/qx.html");
  ASSERT_TRUE(info.connected);
  EXPECT_TRUE(info.closed) << "the client relies on the server closing";
  EXPECT_EQ(info.data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << info.data;
  EXPECT_TRUE(Contains(info.data, "\r\nContent-Type: text/html\r\n"));
  EXPECT_TRUE(Contains(info.data, "\r\nConnection: close\r\n"));
  EXPECT_TRUE(Contains(info.data,
                       "\r\nContent-Length: " + std::to_string(Body(info.data).size()) + "\r\n"));
  EXPECT_TRUE(Contains(Body(info.data), "var chip_type=71;"));

  Reply range = Get(port, kGetRange);
  EXPECT_EQ(range.data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_TRUE(Contains(Body(range.data), "var flip=\"0\";"));
  EXPECT_TRUE(Contains(Body(range.data), "var mirror=\"0\";"));

  Reply set = Get(port, SetPath("1", "1"));
  EXPECT_EQ(set.data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_TRUE(Contains(Body(set.data), "[Succeed]"));

  EXPECT_EQ(Get(port, "/index.html").data.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  Get(port, kGetRange, "admin", "wrong");

  // Every request is recorded, without its credentials.
  ASSERT_TRUE(sim->WaitForRequests(5, milliseconds(2000)));
  std::vector<RequestRecord> log = sim->requests();
  ASSERT_EQ(log.size(), 5u);
  std::string p = std::to_string(port);
  EXPECT_EQ(FormatRecord(log[0]), p + " GET /qx.html 200");
  EXPECT_EQ(FormatRecord(log[2]), p + " GET " + SetPath("1", "1") + " 200");
  EXPECT_EQ(FormatRecord(log[3]), p + " GET /index.html 404");
  EXPECT_EQ(FormatRecord(log[4]), p + " GET " + kGetRange + " 401");
  EXPECT_EQ(sim->request_count(), 5u);
  EXPECT_FALSE(sim->WaitForRequests(6, milliseconds(50)));
}

TEST(CameraSimulatorTest, RefusesMissingOrWrongCredentials) {
  SimulatorOptions options;
  options.user = "installer";
  options.password = "s3cret:x";
  auto sim = StartSimulator(options);
  int port = sim->port();
  const std::string refusals[] = {
      Get(port, "/qx.html", "admin", "quillpen").data,
      Get(port, kGetRange, "installer", "s3cret").data,
      Get(port, SetPath("1", "1"), "installer", "s3cret:").data,
      Exchange(port, ToolRequest(kGetRange, "")).data,  // no Authorization header
      Exchange(port, ToolRequest(kGetRange, "Basic !!!")).data,
      Exchange(port, ToolRequest("/nowhere", "")).data,
  };
  for (const std::string& reply : refusals) {
    EXPECT_EQ(reply.rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u) << reply;
    EXPECT_TRUE(Contains(reply, "\r\nWWW-Authenticate: Basic realm=\"")) << reply;
    EXPECT_FALSE(Contains(reply, "[Succeed]"));
  }
  EXPECT_EQ(sim->state(port)->flip, 0);
  EXPECT_TRUE(Contains(Get(port, kGetRange, "installer", "s3cret:x").data, "200 OK"));
}

TEST(CameraSimulatorTest, SetThenGetRoundTripsTheState) {
  auto sim = StartSimulator();
  int port = sim->port();
  const std::pair<int, int> settings[] = {{1, 0}, {0, 1}, {1, 1}, {0, 0}};
  for (auto [flip, mirror] : settings) {
    // The order of the parameters does not matter.
    std::string path = flip ? SetPath(std::to_string(flip), std::to_string(mirror))
                            : "/param.cgi?cmd=setmotorrange&-mirror=" + std::to_string(mirror) +
                                  "&-flip=" + std::to_string(flip);
    ASSERT_TRUE(Contains(Get(port, path).data, "[Succeed]"));
    std::string body = Body(Get(port, kGetRange).data);
    EXPECT_TRUE(Contains(body, "var flip=\"" + std::to_string(flip) + "\";")) << body;
    EXPECT_TRUE(Contains(body, "var mirror=\"" + std::to_string(mirror) + "\";")) << body;
    std::optional<CameraState> state = sim->state(port);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->flip, flip);
    EXPECT_EQ(state->mirror, mirror);
  }
}

TEST(CameraSimulatorTest, InvalidSetAnswersWithoutSucceedAndChangesNothing) {
  SimulatorOptions options;
  options.flip = 1;
  auto sim = StartSimulator(options);
  int port = sim->port();
  for (const std::string& path : {SetPath("0", "2"), SetPath("x", "1"), SetPath("", "1"),
                                  std::string("/param.cgi?cmd=setmotorrange&-flip=0")}) {
    Reply r = Get(port, path);
    EXPECT_EQ(r.data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << path;
    EXPECT_FALSE(Contains(r.data, "[Succeed]")) << path;
  }
  EXPECT_EQ(sim->state(port)->flip, 1);
  EXPECT_EQ(sim->state(port)->mirror, 0);
  EXPECT_TRUE(Contains(Get(port, kGetRange).data, "var flip=\"1\";"));
}

TEST(CameraSimulatorTest, Http10AndNoInfoPageOptions) {
  SimulatorOptions options;
  options.http10 = true;
  options.info_page = false;
  auto sim = StartSimulator(options);
  int port = sim->port();
  EXPECT_EQ(Get(port, "/qx.html").data.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
  EXPECT_EQ(Get(port, kGetRange).data.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
  EXPECT_EQ(Get(port, kGetRange, "admin", "x").data.rfind("HTTP/1.0 401 Unauthorized\r\n", 0), 0u);
  EXPECT_FALSE(Contains(Get(port, SetPath("1", "0")).data, "HTTP/1.1"));
}

TEST(CameraSimulatorTest, RestartRefusesConnectionsForTheRebootTime) {
  SimulatorOptions options;
  options.reboot_time = std::chrono::seconds(1);
  auto sim = StartSimulator(options);
  int port = sim->port();

  ASSERT_TRUE(Contains(Get(port, SetPath("1", "0")).data, "[Succeed]"));
  auto replied = Clock::now();
  // The listener is closed before the reply goes out.
  errno = 0;
  EXPECT_EQ(camsim_test::Connect(port), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_FALSE(sim->state(port)->listening);

  int fd = -1;
  while (fd < 0 && Clock::now() - replied < std::chrono::seconds(5)) {
    fd = camsim_test::Connect(port);
    if (fd < 0) std::this_thread::sleep_for(milliseconds(20));
  }
  ASSERT_GE(fd, 0) << "the camera never came back";
  close(fd);
  EXPECT_GE(Clock::now() - replied, milliseconds(900));
  EXPECT_TRUE(sim->state(port)->listening);
  EXPECT_TRUE(Contains(Get(port, kGetRange).data, "var flip=\"1\";"));
}

TEST(CameraSimulatorTest, FleetCamerasKeepTheirOwnState) {
  SimulatorOptions options;
  options.cameras = 4;
  options.reboot_time = std::chrono::seconds(30);
  options.overrides.push_back({{true, 3}, std::nullopt, 73, std::nullopt, std::nullopt});
  auto sim = StartSimulator(options);
  const std::vector<int>& ports = sim->ports();
  ASSERT_EQ(ports.size(), 4u);
  for (size_t i = 1; i < ports.size(); ++i) EXPECT_EQ(ports[i], ports[0] + static_cast<int>(i));

  // A restarting camera leaves the others alone.
  ASSERT_TRUE(Contains(Get(ports[2], SetPath("1", "1")).data, "[Succeed]"));
  EXPECT_EQ(camsim_test::Connect(ports[2]), -1);
  for (size_t i : {0, 1, 3}) {
    EXPECT_TRUE(Contains(Get(ports[i], kGetRange).data, "var flip=\"0\";")) << i;
  }
  EXPECT_EQ(sim->state(ports[2])->flip, 1);
  EXPECT_TRUE(Contains(Get(ports[3], "/qx.html").data, "var chip_type=73;"));
  EXPECT_TRUE(Contains(Get(ports[1], "/qx.html").data, "var chip_type=71;"));

  EXPECT_TRUE(sim->SetChipType(ports[0], 72));
  EXPECT_TRUE(Contains(Get(ports[0], "/qx.html").data, "var chip_type=72;"));
  EXPECT_FALSE(sim->SetChipType(ports[3] + 1, 72));
  EXPECT_FALSE(sim->state(ports[0] - 1));
}

TEST(CameraSimulatorTest, AThousandCamerasFitInOneProcess) {
  SimulatorOptions options;
  options.cameras = 1000;
  auto sim = StartSimulator(options);
  const std::vector<int>& ports = sim->ports();
  ASSERT_EQ(ports.size(), 1000u);
  EXPECT_EQ(ports.back(), ports.front() + 999);
  for (size_t i : {0, 1, 500, 998, 999}) {
    EXPECT_TRUE(Contains(Get(ports[i], "/qx.html").data, "200 OK")) << i;
  }
  ASSERT_TRUE(Contains(Get(ports[999], SetPath("1", "0")).data, "[Succeed]"));
  EXPECT_EQ(sim->state(ports[999])->flip, 1);
  EXPECT_EQ(sim->state(ports[998])->flip, 0);
}

TEST(CameraSimulatorFaultTest, CloseAcceptsAndClosesWithoutAByte) {
  SimulatorOptions options;
  options.overrides.push_back({{true, 0}, Fault::kClose, {}, {}, {}});
  auto sim = StartSimulator(options);
  auto start = Clock::now();
  Reply r = Get(sim->port(), "/qx.html");
  EXPECT_TRUE(r.connected);
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(r.data, "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  ASSERT_TRUE(sim->WaitForRequests(1, milliseconds(2000)));
  EXPECT_EQ(FormatRecord(sim->requests()[0]), std::to_string(sim->port()) + " - - - fault=close");
}

TEST(CameraSimulatorFaultTest, SilentReadsButNeverAnswersUntilTheClientCloses) {
  SimulatorOptions options;
  options.cameras = 2;
  options.request_timeout = milliseconds(300);  // must not apply to a silent camera
  options.overrides.push_back({{true, 0}, Fault::kSilent, {}, {}, {}});
  auto sim = StartSimulator(options);
  int port = sim->port();
  int fd = camsim_test::Connect(port);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(camsim_test::SendAll(
      fd, ToolRequest(SetPath("1", "1"), camsim_test::BasicAuth("admin", "quillpen"))));
  Reply r;
  camsim_test::ReadReply(fd, 800, &r);
  EXPECT_EQ(r.data, "");
  EXPECT_FALSE(r.closed);
  close(fd);
  ASSERT_TRUE(sim->WaitForRequests(1, milliseconds(2000)));
  EXPECT_EQ(FormatRecord(sim->requests()[0]),
            std::to_string(port) + " GET " + SetPath("1", "1") + " - fault=silent");
  EXPECT_EQ(sim->state(port)->flip, 0) << "a silent camera handles nothing";
  EXPECT_TRUE(Contains(Get(sim->ports()[1], kGetRange).data, "200 OK"));
}

TEST(CameraSimulatorFaultTest, TrickleSendsAValidLookingReplyByteByByte) {
  SimulatorOptions options;
  options.trickle_interval = milliseconds(100);
  options.overrides.push_back({{true, 0}, Fault::kTrickle, {}, {}, {}});
  auto sim = StartSimulator(options);
  int fd = camsim_test::Connect(sim->port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(camsim_test::SendAll(
      fd, ToolRequest(kGetRange, camsim_test::BasicAuth("admin", "quillpen"))));
  Reply r;
  camsim_test::ReadReply(fd, 500, &r);
  close(fd);
  EXPECT_FALSE(r.closed);
  EXPECT_GE(r.data.size(), 2u);
  EXPECT_LE(r.data.size(), 20u);
  EXPECT_EQ(std::string("HTTP/1.1 200 OK\r\nServer: ").substr(0, r.data.size()), r.data);
}

TEST(CameraSimulatorFaultTest, OversizePutsTheValuesBeyondTheFirst2048Bytes) {
  SimulatorOptions options;
  options.overrides.push_back({{true, 0}, Fault::kOversize, {}, {}, {}});
  auto sim = StartSimulator(options);
  Reply r = Get(sim->port(), kGetRange);
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(r.data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_GE(r.data.size(), 8192u);
  EXPECT_GT(r.data.find("var flip=\"0\";"), 2048u);
  EXPECT_GT(r.data.find("var mirror=\"0\";"), 2048u);
  EXPECT_NE(r.data.find("var mirror=\"0\";"), std::string::npos);
  EXPECT_TRUE(Contains(r.data, "\r\nContent-Length: " + std::to_string(Body(r.data).size())));
  EXPECT_GT(Get(sim->port(), "/qx.html").data.find("var chip_type=71;"), 2048u);
}

TEST(CameraSimulatorFaultTest, NoValuesAndResetSpoilOnlyTheGetmotorrangeReply) {
  SimulatorOptions options;
  options.cameras = 2;
  options.overrides.push_back({{true, 0}, Fault::kNoValues, {}, {}, {}});
  options.overrides.push_back({{true, 1}, Fault::kReset, {}, {}, {}});
  auto sim = StartSimulator(options);
  for (int port : sim->ports()) {
    EXPECT_TRUE(Contains(Get(port, "/qx.html").data, "var chip_type=71;")) << port;
    EXPECT_TRUE(Contains(Get(port, SetPath("1", "0")).data, "[Succeed]")) << port;
    EXPECT_EQ(sim->state(port)->flip, 1) << port;
    EXPECT_TRUE(Contains(Get(port, kGetRange, "admin", "wrong").data, "401 Unauthorized")) << port;
  }

  Reply page = Get(sim->ports()[0], kGetRange);
  EXPECT_EQ(page.data.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page.data;
  EXPECT_TRUE(page.closed);
  EXPECT_FALSE(Contains(page.data, "flip")) << page.data;
  EXPECT_FALSE(Contains(page.data, "mirror")) << page.data;
  EXPECT_FALSE(Body(page.data).empty());

  int fd = camsim_test::Connect(sim->ports()[1]);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(camsim_test::SendAll(
      fd, ToolRequest(kGetRange, camsim_test::BasicAuth("admin", "quillpen"))));
  std::string header;
  char buf[4096];
  ssize_t n;
  while ((n = recv(fd, buf, sizeof buf, 0)) > 0) header.append(buf, static_cast<size_t>(n));
  int err = errno;
  close(fd);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(err, ECONNRESET);
  EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << header;
  EXPECT_EQ(header.find("\r\n\r\n"), header.size() - 4) << "the header whole, nothing after";
  EXPECT_TRUE(Contains(header, "\r\nContent-Length: ")) << header;
  EXPECT_TRUE(sim->WaitForRequests(8, milliseconds(2000)));
  EXPECT_EQ(FormatRecord(sim->requests().back()),
            std::to_string(sim->ports()[1]) + " GET " + kGetRange + " 200 fault=reset");
}

TEST(CameraSimulatorFaultTest, FaultsCanBeChangedWhileRunning) {
  auto sim = StartSimulator();
  int port = sim->port();
  ASSERT_TRUE(sim->SetFault(port, Fault::kClose));
  EXPECT_EQ(Get(port, "/qx.html").data, "");
  ASSERT_TRUE(sim->SetFault(port, Fault::kNone));
  EXPECT_TRUE(Contains(Get(port, "/qx.html").data, "200 OK"));
}

TEST(CameraSimulatorRobustnessTest, RequestSplitOverSeveralWrites) {
  auto sim = StartSimulator();
  std::string request = ToolRequest(kGetRange, camsim_test::BasicAuth("admin", "quillpen"));
  for (size_t piece : {size_t{1}, size_t{7}, size_t{100}}) {
    int fd = camsim_test::Connect(sim->port());
    ASSERT_GE(fd, 0);
    for (size_t at = 0; at < request.size(); at += piece) {
      ASSERT_TRUE(camsim_test::SendAll(fd, std::string_view(request).substr(at, piece)));
      if (piece > 1) std::this_thread::sleep_for(milliseconds(5));
    }
    Reply r;
    camsim_test::ReadReply(fd, 3000, &r);
    close(fd);
    EXPECT_TRUE(Contains(r.data, "var flip=\"0\";")) << "pieces of " << piece;
  }
}

TEST(CameraSimulatorRobustnessTest, ClientsThatLeaveEarlyDoNotHurtIt) {
  SimulatorOptions options;
  options.cameras = 2;
  options.overrides.push_back({{true, 1}, Fault::kOversize, {}, {}, {}});
  auto sim = StartSimulator(options);
  std::string request = ToolRequest(kGetRange, camsim_test::BasicAuth("admin", "quillpen"));
  for (int i = 0; i < 20; ++i) {
    for (int port : sim->ports()) {
      int fd = camsim_test::Connect(port);
      ASSERT_GE(fd, 0);
      if (i % 2 == 0) {
        camsim_test::SendAll(fd, request.substr(0, request.size() / 2));
      } else {
        camsim_test::SendAll(fd, request);
        // A reset instead of an orderly close makes the reply's sends fail.
        struct linger hard = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      }
      close(fd);
    }
  }
  for (int port : sim->ports()) {
    EXPECT_TRUE(Contains(Get(port, kGetRange).data, "var flip=\"0\";"));
  }
}

TEST(CameraSimulatorRobustnessTest, AResetMidTrickleDoesNotHurtIt) {
  SimulatorOptions options;
  options.trickle_interval = milliseconds(10);
  options.overrides.push_back({{true, 0}, Fault::kTrickle, {}, {}, {}});
  auto sim = StartSimulator(options);
  int fd = camsim_test::Connect(sim->port());
  ASSERT_GE(fd, 0);
  camsim_test::SendAll(fd, ToolRequest("/qx.html", ""));
  Reply r;
  camsim_test::ReadReply(fd, 2000, &r, 1);
  ASSERT_EQ(r.data, "H");
  struct linger hard = {1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd);
  std::this_thread::sleep_for(milliseconds(100));  // several more bytes were due meanwhile
  ASSERT_TRUE(sim->SetFault(sim->port(), Fault::kNone));
  EXPECT_TRUE(Contains(Get(sim->port(), "/qx.html").data, "200 OK"));
}

TEST(CameraSimulatorRobustnessTest, EndlessHeadersAndGarbageGet400) {
  auto sim = StartSimulator();
  std::string endless = "GET /qx.html HTTP/1.1\r\n";
  while (endless.size() < 9000) endless += "X-Filler: 0123456789012345678901234567890123456789\r\n";
  int fd = camsim_test::Connect(sim->port());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(camsim_test::SendAll(fd, endless));
  // Read late: the reply must survive the request bytes the server never looked at.
  std::this_thread::sleep_for(milliseconds(200));
  Reply r;
  camsim_test::ReadReply(fd, 3000, &r);
  close(fd);
  EXPECT_EQ(r.data.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << r.data;
  EXPECT_TRUE(r.closed);
  r = Exchange(sim->port(), "HELLO THERE\r\n\r\n");
  EXPECT_EQ(r.data.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << r.data;
  r = Exchange(sim->port(), "POST /qx.html HTTP/1.1\r\n\r\n");
  EXPECT_EQ(r.data.rfind("HTTP/1.1 405 Method Not Allowed\r\n", 0), 0u) << r.data;
}

TEST(CameraSimulatorRobustnessTest, TheReplySurvivesRequestBytesNeverRead) {
  SimulatorOptions options;
  options.overrides.push_back({{true, 0}, Fault::kOversize, {}, {}, {}});
  auto sim = StartSimulator(options);
  // A small window keeps most of the 8 KiB reply queued at the server while surplus request
  // bytes wait unread there: closing at that point would reset the connection and drop it.
  int fd = camsim_test::Connect(sim->port(), 2000, 2048);
  ASSERT_GE(fd, 0);
  camsim_test::SendAll(fd, ToolRequest(kGetRange, camsim_test::BasicAuth("admin", "quillpen")) +
                               std::string(20000, 'x'));
  std::this_thread::sleep_for(milliseconds(100));
  Reply r;
  camsim_test::ReadReply(fd, 3000, &r);
  close(fd);
  std::string body = Body(r.data);
  EXPECT_TRUE(Contains(r.data, "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"));
  EXPECT_TRUE(Contains(body, "var mirror=\"0\";"));
}

TEST(CameraSimulatorRobustnessTest, IdleConnectionsAreClosed) {
  SimulatorOptions options;
  options.request_timeout = milliseconds(300);
  auto sim = StartSimulator(options);
  int fd = camsim_test::Connect(sim->port());
  ASSERT_GE(fd, 0);
  camsim_test::SendAll(fd, "GET /qx.html HTTP/1.1\r\n");  // and nothing more
  Reply r;
  auto start = Clock::now();
  camsim_test::ReadReply(fd, 3000, &r);
  close(fd);
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(r.data, "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(CameraSimulatorTest, LogCapacityKeepsTheNewestRecords) {
  SimulatorOptions options;
  options.log_capacity = 2;
  auto sim = StartSimulator(options);
  for (const char* path : {"/a", "/b", "/c"}) Get(sim->port(), path);
  ASSERT_TRUE(sim->WaitForRequests(3, milliseconds(2000)));
  std::vector<RequestRecord> log = sim->requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].path, "/b");
  EXPECT_EQ(log[1].path, "/c");
}

TEST(CameraSimulatorTest, StopReturnsPromptlyWithConnectionsOpen) {
  SimulatorOptions options;
  options.overrides.push_back({{true, 0}, Fault::kSilent, {}, {}, {}});
  auto sim = StartSimulator(options);
  int fd = camsim_test::Connect(sim->port());
  ASSERT_GE(fd, 0);
  camsim_test::SendAll(fd, ToolRequest("/qx.html", ""));
  ASSERT_TRUE(sim->WaitForRequests(1, milliseconds(2000)));
  auto start = Clock::now();
  sim->Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  Reply r;
  camsim_test::ReadReply(fd, 2000, &r);
  close(fd);
  EXPECT_TRUE(r.closed) << "stopping closes open connections";
  errno = 0;
  EXPECT_EQ(camsim_test::Connect(sim->port()), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  sim->Stop();  // idempotent
}

TEST(CameraSimulatorTest, ListenChecksOptionsLikeTheCommandLine) {
  SimulatorOptions options;
  options.bind_address = "localhost";
  std::string error;
  EXPECT_FALSE(CameraSimulator(options).Listen(&error));
  EXPECT_EQ(error, "--bind: not a numeric IPv4 or IPv6 address: 'localhost'");
}

TEST(CameraSimulatorTest, ServesOnIpv6Loopback) {
  SimulatorOptions options;
  options.bind_address = "::1";
  options.port = 0;
  CameraSimulator sim(options);
  std::string error;
  if (!sim.Start(&error)) GTEST_SKIP() << "no IPv6 loopback: " << error;
  EXPECT_EQ(sim.address(), "[::1]:" + std::to_string(sim.port()));
  int fd = socket(AF_INET6, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  struct sockaddr_in6 addr = {};
  addr.sin6_family = AF_INET6;
  addr.sin6_port = htons(static_cast<uint16_t>(sim.port()));
  addr.sin6_addr = in6addr_loopback;
  ASSERT_EQ(connect(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr), 0);
  camsim_test::SendAll(fd, ToolRequest("/qx.html", camsim_test::BasicAuth("admin", "quillpen")));
  Reply r;
  camsim_test::ReadReply(fd, 3000, &r);
  close(fd);
  EXPECT_TRUE(Contains(r.data, "var chip_type=71;"));
}

}  // namespace
}  // namespace camsim
