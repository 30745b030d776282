#include "cgi/Digest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The example of RFC 7616 section 3.9.1, both algorithms.
DigestChallenge Rfc7616(const char* algorithm) {
  const std::string reply =
      std::string("HTTP/1.1 401 Unauthorized\r\n") +
      "WWW-Authenticate: Digest realm=\"http-auth@example.org\", qop=\"auth, auth-int\", "
      "algorithm=" +
      algorithm +
      ", nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
      "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"\r\n\r\n";
  DigestChallenge c;
  EXPECT_EQ(FindDigestChallenge(reply, 2048, &c), ChallengeSearch::kFound);
  return c;
}

TEST(DigestTest, AnswersTheRfc7616ExamplesByteForByte) {
  const char kCnonce[] = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
  const std::string common =
      "Digest username=\"Mufasa\", realm=\"http-auth@example.org\", uri=\"/dir/index.html\", ";
  const std::string tail =
      ", nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", nc=00000001, "
      "cnonce=\"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ\", qop=auth, response=\"";
  const std::string opaque = "\", opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
  EXPECT_EQ(DigestAuthorization(Rfc7616("MD5"), "Mufasa", "Circle of Life", "/dir/index.html", 1,
                                kCnonce),
            common + "algorithm=MD5" + tail + "8ca523f5e9506fed4657c9700eebdbec" + opaque);
  EXPECT_EQ(DigestAuthorization(Rfc7616("SHA-256"), "Mufasa", "Circle of Life", "/dir/index.html",
                                1, kCnonce),
            common + "algorithm=SHA-256" + tail +
                "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1" + opaque);
}

TEST(DigestTest, ReadsChallengesInAnyLayoutAndPrefersSha256) {
  // Two challenges on one line, a third on another; names in any case, values bare or quoted.
  const std::string reply =
      "HTTP/1.1 401 Unauthorized\r\n"
      "WWW-Authenticate: Basic realm=\"cam\", DIGEST REALM=cam, Nonce=\"n1\", qop=auth\r\n"
      "Server: x\r\n"
      "www-authenticate: Digest realm=\"c\\\"a,m\", nonce=n2, algorithm=sha-256, stale=TRUE, "
      "userhash=true, qop=\"auth-int, auth\", charset=UTF-8\r\n\r\n";
  DigestChallenge c;
  ASSERT_EQ(FindDigestChallenge(reply, 2048, &c), ChallengeSearch::kFound);
  EXPECT_EQ(c.algorithm, DigestAlgorithm::kSha256);
  EXPECT_EQ(c.realm, "c\"a,m");
  EXPECT_EQ(c.nonce, "n2");
  EXPECT_TRUE(c.stale && c.userhash && c.qopAuth && c.algorithmGiven && !c.hasOpaque);

  // Without the SHA-256 line the MD5 one is taken, algorithm absent meaning MD5.
  const std::string md5Only = reply.substr(0, reply.find("Server:")) + "\r\n";
  ASSERT_EQ(FindDigestChallenge(md5Only, 2048, &c), ChallengeSearch::kFound);
  EXPECT_EQ(c.algorithm, DigestAlgorithm::kMd5);
  EXPECT_FALSE(c.algorithmGiven || c.stale);
  EXPECT_EQ(c.nonce, "n1");
}

TEST(DigestTest, SkipsWhatItCannotAnswerAndSaysWhyACutChallengeIsUnreadable) {
  DigestChallenge c;
  const char* unusable[] = {
      "Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256, qop=auth",  // unknown: not guessed
      "Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"",                 // auth-int only
      "Digest realm=\"r\", nonce=\"n\", algorithm=MD5-sess",               // sess without qop
      "Digest realm=\"r\", qop=auth",                                      // no nonce
      "Digest realm=\"r\", nonce=\"n",                                     // quote never ends
  };
  for (const char* line : unusable) {
    const std::string reply =
        std::string("HTTP/1.1 401 X\r\nWWW-Authenticate: ") + line + "\r\n\r\n";
    EXPECT_EQ(FindDigestChallenge(reply, 2048, &c), ChallengeSearch::kUnusable) << line;
  }
  EXPECT_EQ(FindDigestChallenge("HTTP/1.1 401 X\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\n",
                                2048, &c),
            ChallengeSearch::kNone);

  // A header cut by the reply limit in the middle of the challenge line.
  std::string cut = "HTTP/1.1 401 X\r\nX-Pad: " + std::string(1900, 'p') +
                    "\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n\", qop=auth";
  cut.resize(2048, 'x');
  EXPECT_EQ(FindDigestChallenge(cut, 2048, &c), ChallengeSearch::kCut);
  EXPECT_NE(std::string(ChallengeProblem(ChallengeSearch::kCut)).find("2048"), std::string::npos);
  // A long Basic refusal cut the same way says nothing of Digest: the camera stays a Basic one.
  std::string basic = "HTTP/1.1 401 X\r\nWWW-Authenticate: Basic realm=\"r\"\r\nX-Pad: ";
  basic.resize(2048, 'p');
  EXPECT_EQ(FindDigestChallenge(basic, 2048, &c), ChallengeSearch::kNone);
}

TEST(DigestTest, OldStyleChallengeUserhashAndQuoting) {
  DigestChallenge c;
  c.realm = "r";
  c.nonce = "n";
  // Without qop: no nc, cnonce or qop; the response is H(HA1:nonce:HA2) (RFC 2069).
  EXPECT_EQ(DigestAuthorization(c, "u", "p", "/param.cgi?cmd=getmotorrange", 1, "cn"),
            "Digest username=\"u\", realm=\"r\", uri=\"/param.cgi?cmd=getmotorrange\", "
            "nonce=\"n\", response=\"40d68cb012f9a0ba1fe394a921774e6f\"");
  c.qopAuth = true;
  c.userhash = true;
  c.algorithm = DigestAlgorithm::kSha256Sess;
  c.algorithmGiven = true;
  const std::string line = DigestAuthorization(c, "u\"s", "p", "/x", 255, "cn");
  // The user name is hidden as H(user:realm); nc is 8 hex digits; the rest is echoed.
  EXPECT_EQ(line.find("Digest username=\""), 0u);
  EXPECT_EQ(line.find("u\\\"s"), std::string::npos);
  EXPECT_NE(line.find("algorithm=SHA-256-sess, nonce=\"n\", nc=000000ff, cnonce=\"cn\", qop=auth"),
            std::string::npos);
  EXPECT_NE(line.find(", userhash=true"), std::string::npos);
  c.userhash = false;
  EXPECT_NE(DigestAuthorization(c, "u\"s\\", "p", "/x", 1, "cn").find("username=\"u\\\"s\\\\\""),
            std::string::npos);
  EXPECT_EQ(NewCnonce().size(), 32u);
  EXPECT_NE(NewCnonce(), NewCnonce());
}

}  // namespace
