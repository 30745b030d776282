// The scan against real peers on loopback: the simulator with one camera per address, a
// locking camera, a camera without an information page and scripted web servers.
#include "fleet/Scan.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "camsim/CameraSim.h"
#include "fleet/Ranges.h"
#include "tests/ScanPeers.h"
#include "tests/ScriptedPeer.h"

namespace fleet {
namespace {

constexpr const char* kPassword = tiltwise_test::kScanPassword;
using tiltwise_test::At;
using tiltwise_test::StartSim;

size_t InfoPageRequests(const camsim::CameraSimulator& sim, const std::string& host) {
  size_t n = 0;
  for (const auto& r : sim.requests()) n += r.host == host && r.path == "/qx.html";
  return n;
}

std::uint32_t Address(const char* text) {
  AddressRange r;
  std::string error;
  EXPECT_TRUE(ParseRange(text, &r, &error)) << error;
  return r.first;
}

TEST(Scan, ClassifiesEveryKindOfPeerAndTriesEachLoginOnce) {
  camsim::SimulatorOptions many;
  many.bind_address = "127.77.0.1";
  many.address_per_camera = true;
  many.cameras = 5;
  many.flip = 1;
  many.overrides = {At(1), At(2), At(3), At(4)};
  many.overrides[0].fault = camsim::Fault::kSilent;
  many.overrides[1].password = "another";
  many.overrides[2].chip_type = 72;
  many.overrides[3].fault = camsim::Fault::kTrickle;
  auto cameras = StartSim(many);
  camsim::SimulatorOptions locking;
  locking.bind_address = "127.77.0.9";
  locking.address_per_camera = true;
  locking.lockout_after = 1;
  auto locked = StartSim(locking);
  camsim::SimulatorOptions noPage;
  noPage.bind_address = "127.77.0.10";
  noPage.address_per_camera = true;
  noPage.info_page = false;
  auto bare = StartSim(noPage);
  tiltwise_test::ScriptedPeer web(tiltwise_test::ScriptedPeer::AnswerAndClose(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>router</html>"));

  std::vector<Endpoint> endpoints;
  for (std::uint32_t a = Address("127.77.0.1"); a <= Address("127.77.0.10"); ++a) {
    for (int port : {cameras->port(), locked->port(), web.port(), bare->port()}) {
      endpoints.push_back({a, port});
    }
  }
  endpoints.push_back({Address("127.0.0.1"), web.port()});
  ScanOptions o;
  o.credentials = {{"admin", "wrong"}, {"admin", kPassword}};
  o.timeoutMs = 700;
  o.deadlineMs = 1500;
  o.maxInFlight = 3;  // most connects wait for a free place
  o.keepNoAnswer = true;
  std::atomic<bool> stop{false};
  size_t reported = 0;
  ScanProgress progress;
  const std::vector<ScanResult> results = RunScan(
      endpoints, o, stop, [&](const ScanResult&) { ++reported; }, nullptr, &progress);

  ASSERT_EQ(results.size(), endpoints.size());
  EXPECT_EQ(reported, endpoints.size());
  std::map<std::string, ScanResult> found;
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].index, i);
    const ScanResult& r = results[i];
    if (r.kind != DeviceClass::kNoAnswer) found[r.host + ":" + std::to_string(r.port)] = r;
  }
  const std::string camPort = ":" + std::to_string(cameras->port());
  ASSERT_EQ(found.size(), 8u);
  const ScanResult& good = found["127.77.0.1" + camPort];
  EXPECT_EQ(good.kind, DeviceClass::kCamera);
  EXPECT_EQ(good.user, "admin");
  EXPECT_EQ(good.chipType, 71);
  EXPECT_EQ(good.flip, true);
  EXPECT_EQ(good.mirror, false);
  EXPECT_EQ(good.cause, Cause::kNone);
  // The page the login was found with serves the read: one request per credential set.
  EXPECT_EQ(InfoPageRequests(*cameras, "127.77.0.1"), 2u);

  const ScanResult& other = found["127.77.0.3" + camPort];
  EXPECT_EQ(other.kind, DeviceClass::kAuthFailed);
  EXPECT_EQ(other.cause, Cause::kUnauthorized);
  EXPECT_EQ(other.user, "");
  EXPECT_EQ(InfoPageRequests(*cameras, "127.77.0.3"), 2u);  // each set once, no retry

  const ScanResult& hv = found["127.77.0.4" + camPort];
  EXPECT_EQ(hv.kind, DeviceClass::kCamera);
  EXPECT_EQ(hv.chipType, 72);
  EXPECT_EQ(hv.cause, Cause::kChipType);
  EXPECT_FALSE(hv.flip.has_value());

  // Locked after the first wrong password: the right one gets 403 and nothing follows it.
  const ScanResult& lock = found["127.77.0.9:" + std::to_string(locked->port())];
  EXPECT_EQ(lock.kind, DeviceClass::kAuthFailed);
  EXPECT_EQ(lock.httpStatus, 403);
  EXPECT_EQ(InfoPageRequests(*locked, "127.77.0.9"), 2u);

  // No information page (404), but the motor range answers: a camera of unknown chip type.
  const ScanResult& pageless = found["127.77.0.10:" + std::to_string(bare->port())];
  EXPECT_EQ(pageless.kind, DeviceClass::kCamera);
  EXPECT_FALSE(pageless.chipType.has_value());
  EXPECT_EQ(pageless.flip, false);

  const ScanResult& router = found["127.0.0.1:" + std::to_string(web.port())];
  EXPECT_EQ(router.kind, DeviceClass::kNotACamera);
  EXPECT_EQ(router.httpStatus, 200);

  // Accepted, then silent, or a reply that stalls: something is there, as a restarting camera.
  const ScanResult& silent = results[1 * 4];  // 127.77.0.2 on the cameras' port
  EXPECT_EQ(silent.host, "127.77.0.2");
  EXPECT_EQ(silent.kind, DeviceClass::kNoReply);
  EXPECT_EQ(silent.cause, Cause::kTimedOut);
  EXPECT_EQ(results[4 * 4].host, "127.77.0.5");
  EXPECT_EQ(results[4 * 4].kind, DeviceClass::kNoReply);
  EXPECT_EQ(results[2].cause, Cause::kRefused);  // 127.77.0.1 on the web server's port
  EXPECT_EQ(progress.swept, endpoints.size());
  EXPECT_EQ(progress.cameras, 3u);
  EXPECT_EQ(progress.authFailed, 2u);
  EXPECT_EQ(progress.notACamera, 1u);
  EXPECT_EQ(progress.noReply, 2u);
  EXPECT_EQ(progress.noAnswer, endpoints.size() - 8);
}

// Every credential set gets its turn where the login is asked for: on getmotorrange when the
// information page needs none, and when there is no information page at all.
TEST(Scan, CredentialSetsReachTheMotorRange) {
  tiltwise_test::Script openPage;
  openPage.answers = {
      {"/qx.html", "HTTP/1.1 200 OK\r\n\r\nvar chip_type=\"71\";\r\n"},
      {"/param.cgi?cmd=getmotorrange",
       "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n\r\n"}};
  tiltwise_test::ScriptedPeer refusing(openPage);
  camsim::SimulatorOptions noPage;
  noPage.bind_address = "127.77.3.1";
  noPage.address_per_camera = true;
  noPage.info_page = false;
  auto bare = StartSim(noPage);

  ScanOptions o;
  o.credentials = {{"admin", "wrong"}, {"admin", kPassword}, {"other", "x"}};
  const ScanResult locked = ProbeDevice({Address("127.0.0.1"), refusing.port()}, o);
  EXPECT_EQ(locked.kind, DeviceClass::kAuthFailed);
  EXPECT_EQ(locked.request, Request::kGetMotorRange);
  EXPECT_EQ(
      refusing.Targets(),
      (std::vector<std::string>{"/qx.html", "/param.cgi?cmd=getmotorrange",
                                "/param.cgi?cmd=getmotorrange", "/param.cgi?cmd=getmotorrange"}));

  const ScanResult found = ProbeDevice({Address("127.77.3.1"), bare->port()}, o);
  EXPECT_EQ(found.kind, DeviceClass::kCamera);
  EXPECT_EQ(found.login, 2);
  EXPECT_EQ(found.flip, false);
}

}  // namespace
}  // namespace fleet
