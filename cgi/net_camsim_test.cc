// Exchanges with a camera simulator started outside the test, so a Windows build under Wine can
// be checked against the same native peer as the Linux build. scripts/wine-e2e.sh starts one and
// sets, each as ADDR:PORT on loopback:
//   TILTWISE_CAMSIM          a well-behaved camera (user admin, password quillpen)
//   TILTWISE_CAMSIM_SILENT   optional: a camera that reads the request and never answers
//   TILTWISE_CAMSIM_CLOSING  optional: a camera that accepts and closes without a byte
//   TILTWISE_CAMSIM_DIGEST, TILTWISE_CAMSIM_DIGEST_SHA256
//                            optional: cameras that want Digest with MD5, with SHA-256 only
// Without them the tests are skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Clock.h"
#include "base/IPv4Address.h"
#include "cgi/Authorized.h"
#include "cgi/CgiCmd.h"

namespace {

struct Camera {
  CString ip;
  int port = 0;
};

// Reads ADDR:PORT from the environment; only loopback addresses are ever contacted.
bool FromEnvironment(const char* name, Camera* camera, std::string* why) {
  const char* value = std::getenv(name);
  if (!value || !*value) {
    *why = std::string(name) + " is not set (scripts/wine-e2e.sh sets it)";
    return false;
  }
  const std::string text = value;
  const size_t colon = text.rfind(':');
  const std::optional<tw::IPv4Address> typed =
      colon == std::string::npos ? std::nullopt : tw::IPv4Address::Parse(text.substr(0, colon));
  if (!typed) {
    *why = std::string(name) + "=" + text + " is not ADDR:PORT";
    return false;
  }
  if (typed->hostOrder() >> 24 != 127) {
    *why = std::string(name) + "=" + text + " is not a loopback address";
    return false;
  }
  camera->ip = CString(text.substr(0, colon).c_str());
  camera->port = std::atoi(text.c_str() + colon + 1);
  return camera->port > 0 && camera->port < 65536;
}

#define REQUIRE_CAMERA(name, camera)                                \
  Camera camera;                                                    \
  do {                                                              \
    std::string why;                                                \
    if (!FromEnvironment(name, &camera, &why)) GTEST_SKIP() << why; \
  } while (0)

int Get(const Camera& c, const char* path, CString& reply, int limitMs = 3000,
        const char* password = "quillpen") {
  return CCgiCmd::HttpGet(c.ip, c.port, "admin", password, path, reply, limitMs);
}

TEST(SimulatorPeerTest, QueryReadsChipTypeAndOrientation) {
  REQUIRE_CAMERA("TILTWISE_CAMSIM", camera);
  CString reply;
  ASSERT_EQ(Get(camera, "/qx.html", reply), 1);
  EXPECT_GE(reply.Find("200 OK"), 0) << reply.GetString();
  EXPECT_GT(CCgiCmd::GetVarInt(reply, "chip_type", 0), 0) << reply.GetString();

  ASSERT_EQ(Get(camera, "/param.cgi?cmd=getmotorrange", reply), 1);
  for (const char* name : {"flip", "mirror"}) {
    CString v = CCgiCmd::GetVarString(reply, name, 0);
    EXPECT_TRUE(v == "0" || v == "1") << name << " in " << reply.GetString();
  }
}

TEST(SimulatorPeerTest, SetIsReadBackAndRestored) {
  REQUIRE_CAMERA("TILTWISE_CAMSIM", camera);
  CString reply;
  ASSERT_EQ(Get(camera, "/param.cgi?cmd=getmotorrange", reply), 1);
  const int flip = CCgiCmd::GetVarString(reply, "flip", 0) == "1" ? 1 : 0;
  const int mirror = CCgiCmd::GetVarString(reply, "mirror", 0) == "1" ? 1 : 0;

  for (int pass = 0; pass < 2; ++pass) {
    const int wantFlip = pass == 0 ? !flip : flip;
    const int wantMirror = pass == 0 ? !mirror : mirror;
    CString path;
    path.Format("/param.cgi?cmd=setmotorrange&-flip=%d&-mirror=%d", wantFlip, wantMirror);
    ASSERT_EQ(Get(camera, path, reply), 1);
    EXPECT_GE(reply.Find("200 OK"), 0) << reply.GetString();
    ASSERT_EQ(Get(camera, "/param.cgi?cmd=getmotorrange", reply), 1);
    EXPECT_EQ(CCgiCmd::GetVarString(reply, "flip", 0), wantFlip ? "1" : "0");
    EXPECT_EQ(CCgiCmd::GetVarString(reply, "mirror", 0), wantMirror ? "1" : "0");
  }
}

TEST(SimulatorPeerTest, WrongPasswordIsAnsweredWithoutTheValues) {
  REQUIRE_CAMERA("TILTWISE_CAMSIM", camera);
  CString reply;
  ASSERT_EQ(Get(camera, "/param.cgi?cmd=getmotorrange", reply, 3000, "wrong"), 1);
  EXPECT_LT(reply.Find("200 OK"), 0) << reply.GetString();
  EXPECT_GE(reply.Find("401"), 0) << reply.GetString();
  EXPECT_TRUE(CCgiCmd::GetVarString(reply, "flip", 0).IsEmpty());
}

// The Digest login with the platform's own hashes: a Basic request finds out, the rest goes
// with Digest only, the nonce reused with the next nc.
TEST(SimulatorPeerTest, DigestCamerasLetTheRightLoginIn) {
  for (const char* name : {"TILTWISE_CAMSIM_DIGEST", "TILTWISE_CAMSIM_DIGEST_SHA256"}) {
    REQUIRE_CAMERA(name, camera);
    AuthMemory memory;
    AuthLimits limits;
    for (int i = 0; i < 2; ++i) {
      CString reply;
      ASSERT_EQ(HttpGetAuthorized(camera.ip, camera.port, "admin", "quillpen",
                                  "/param.cgi?cmd=getmotorrange", reply, limits, memory),
                1);
      EXPECT_GE(reply.Find("200 OK"), 0) << name << reply.GetString();
    }
    EXPECT_TRUE(memory.digest);
    EXPECT_EQ(memory.nc, 2u);
    CString reply;
    AuthMemory fresh;
    HttpGetAuthorized(camera.ip, camera.port, "admin", "wrong", "/qx.html", reply, limits, fresh);
    EXPECT_GE(reply.Find("401"), 0) << reply.GetString();
  }
}

TEST(SimulatorPeerTest, SilentCameraEndsTheExchangeOneLimitLater) {
  REQUIRE_CAMERA("TILTWISE_CAMSIM_SILENT", camera);
  CString reply = "stale";
  const std::int64_t start = tw::NowMs();
  EXPECT_EQ(Get(camera, "/qx.html", reply, 700), 0);
  const std::int64_t took = tw::NowMs() - start;
  EXPECT_TRUE(reply.IsEmpty());
  EXPECT_GE(took, 699);
  EXPECT_LT(took, 2000);
}

TEST(SimulatorPeerTest, ClosingCameraFailsAtOnce) {
  REQUIRE_CAMERA("TILTWISE_CAMSIM_CLOSING", camera);
  CString reply = "stale";
  const std::int64_t start = tw::NowMs();
  EXPECT_EQ(Get(camera, "/qx.html", reply, 10000), 0);
  EXPECT_TRUE(reply.IsEmpty());
  EXPECT_LT(tw::NowMs() - start, 5000);
}

}  // namespace
