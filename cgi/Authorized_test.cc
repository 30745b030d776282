// The Digest logins against the camera simulator and a scripted peer, on loopback.
#include "cgi/Authorized.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "camsim/CameraSim.h"
#include "cgi/CgiCmd.h"
#include "tests/ScriptedPeer.h"

namespace {

class Sim {
 public:
  explicit Sim(camsim::AuthMode mode, const char* password = "quillpen", int lockout = 0,
               std::chrono::milliseconds lifetime = std::chrono::minutes(5)) {
    camsim::SimulatorOptions options;
    options.port = 0;
    options.auth = mode;
    options.lockout_after = lockout;
    options.nonce_lifetime = lifetime;
    options.password = password;
    sim_ = std::make_unique<camsim::CameraSimulator>(options);
    std::string error;
    EXPECT_TRUE(sim_->Start(&error)) << error;
  }
  // Status and scheme of each request since the last call: "401 basic", "200 digest".
  std::vector<std::string> Seen() {
    std::vector<std::string> out;
    const std::vector<camsim::RequestRecord> all = sim_->requests();
    for (size_t i = seen_; i < all.size(); ++i) {
      out.push_back(std::to_string(all[i].status) + " " + (all[i].scheme ? all[i].scheme : "-"));
    }
    seen_ = all.size();
    return out;
  }
  int Get(AuthMemory& memory, const char* path = "/qx.html", const char* password = "quillpen") {
    CString reply;
    AuthLimits limits;
    limits.exchangeLimitMs = 10000;
    const int got = HttpGetAuthorized("127.0.0.1", sim_->port(), "admin", password, path, reply,
                                      limits, memory);
    const int space = reply.Find(' ');
    return got ? std::atoi(reply.Mid(space + 1, 3)) : 0;
  }

 private:
  std::unique_ptr<camsim::CameraSimulator> sim_;
  size_t seen_ = 0;
};

using Seq = std::vector<std::string>;

TEST(AuthorizedTest, LearnsDigestOnceThenAnswersAtOnceWithBothAlgorithms) {
  for (camsim::AuthMode mode : {camsim::AuthMode::kDigest, camsim::AuthMode::kDigestSha256}) {
    Sim sim(mode);
    AuthMemory memory;
    EXPECT_EQ(sim.Get(memory), 200);
    EXPECT_EQ(sim.Seen(), (Seq{"401 basic", "200 digest"}));
    EXPECT_STREQ(AuthSchemeName(memory), "digest");
    EXPECT_EQ(memory.challenge.algorithm,
              mode == camsim::AuthMode::kDigest ? DigestAlgorithm::kMd5 : DigestAlgorithm::kSha256);
    // The nonce is reused with the next nc, the query string is part of uri.
    EXPECT_EQ(sim.Get(memory, "/param.cgi?cmd=getmotorrange"), 200);
    EXPECT_EQ(memory.nc, 2u);
    // A set restarts the camera, which forgets its nonces: one more try, no failed login.
    EXPECT_EQ(sim.Get(memory, "/param.cgi?cmd=setmotorrange&-flip=1&-mirror=0"), 200);
    EXPECT_EQ(sim.Get(memory), 200);
    EXPECT_EQ(sim.Seen(), (Seq{"200 digest", "200 digest", "401 digest", "200 digest"}));
  }
}

TEST(AuthorizedTest, BasicCamerasAndCamerasOfferingBothKeepBasic) {
  Sim sim(camsim::AuthMode::kAny);
  AuthMemory memory;
  EXPECT_EQ(sim.Get(memory), 200);
  EXPECT_EQ(sim.Seen(), (Seq{"200 basic"}));
  EXPECT_FALSE(memory.digest);
}

TEST(AuthorizedTest, AStaleNonceGetsOneMoreTry) {
  Sim sim(camsim::AuthMode::kDigest, "quillpen", 0, std::chrono::milliseconds(300));
  AuthMemory memory;
  EXPECT_EQ(sim.Get(memory), 200);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(sim.Get(memory), 200);
  EXPECT_EQ(sim.Seen(), (Seq{"401 basic", "200 digest", "401 digest", "200 digest"}));
}

TEST(AuthorizedTest, AWrongPasswordCostsOneRefusalPerCommandAndNeverBasicAgain) {
  Sim sim(camsim::AuthMode::kDigestSha256, "quillpen", 3);
  AuthMemory memory;
  EXPECT_EQ(sim.Get(memory, "/qx.html", "wrong"), 401);
  EXPECT_EQ(sim.Seen(), (Seq{"401 basic", "401 digest"}));
  // The next command fetches a challenge without credentials (no login) and tries once.
  EXPECT_EQ(sim.Get(memory, "/qx.html", "wrong"), 401);
  EXPECT_EQ(sim.Seen(), (Seq{"401 none", "401 digest"}));
  // Three failed logins so far lock it.
  EXPECT_EQ(sim.Get(memory), 403);
}

TEST(AuthorizedTest, AHeldNonceRefusedToAnotherLoginIsNotTriedAgain) {
  Sim sim(camsim::AuthMode::kDigest);
  AuthMemory memory;
  EXPECT_EQ(sim.Get(memory), 200);
  EXPECT_EQ(sim.Get(memory, "/qx.html", "wrong"), 401);
  EXPECT_EQ(sim.Seen(), (Seq{"401 basic", "200 digest", "401 digest"}));
}

TEST(AuthorizedTest, ACameraKnownAsDigestIsAskedWithoutCredentialsFirst) {
  Sim sim(camsim::AuthMode::kDigest, "quillpen", 2);
  AuthMemory memory;
  memory.digest = true;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sim.Get(memory), 200);
  EXPECT_EQ(sim.Seen(), (Seq{"401 none", "200 digest", "200 digest", "200 digest"}));
}

TEST(AuthorizedTest, AChallengeCutByTheReplyLimitIsUnreadableAndStopsBasic) {
  const std::string reply = "HTTP/1.1 401 Unauthorized\r\nX-Pad: " + std::string(2100, 'p') +
                            "\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n\r\n";
  tiltwise_test::ScriptedPeer peer(tiltwise_test::ScriptedPeer::AnswerAndClose(reply));
  AuthMemory memory;
  memory.digest = true;
  CString got;
  AuthLimits limits;
  EXPECT_EQ(
      HttpGetAuthorized("127.0.0.1", peer.port(), "admin", "pw", "/qx.html", got, limits, memory),
      1);
  EXPECT_NE(memory.problem.find("2048"), std::string::npos);
  EXPECT_EQ(peer.Request().find("Authorization"), std::string::npos);
  // The peer counts a connection once it has closed it, which may be after our reply is read.
  EXPECT_TRUE(peer.WaitForConnections(1, 5000));
  EXPECT_FALSE(peer.WaitForConnections(2, 200));
}

}  // namespace
