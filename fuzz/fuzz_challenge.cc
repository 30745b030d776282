// The WWW-Authenticate reader on any reply: it must never crash, and whatever it picks must
// be answerable (a nonce, a known algorithm, qop auth or none, no -sess without qop) and give an
// Authorization value that keeps its quoted values closed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cgi/Digest.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  DigestChallenge c;
  const ChallengeSearch found = FindDigestChallenge(reply, 2048, &c);
  if (found == ChallengeSearch::kCut) FUZZ_CHECK(reply.size() >= 2048);
  if (found != ChallengeSearch::kFound) return 0;
  FUZZ_CHECK(!c.nonce.empty());
  const bool sess =
      c.algorithm == DigestAlgorithm::kMd5Sess || c.algorithm == DigestAlgorithm::kSha256Sess;
  FUZZ_CHECK(!sess || c.qopAuth);
  const std::string line = DigestAuthorization(c, "admin", "pw", "/qx.html", 1, "cnonce");
  FUZZ_CHECK(line.rfind("Digest username=\"", 0) == 0);
  // Outside quoted values no line break and no stray quote may come through.
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (quoted && line[i] == '\\') {
      ++i;
      continue;
    }
    if (line[i] == '"') quoted = !quoted;
  }
  FUZZ_CHECK(!quoted);
  for (char ch : line) FUZZ_CHECK(ch != '\r' && ch != '\n');
  for (const RawChallenge& raw : ParseChallenges(reply)) FUZZ_CHECK(!raw.scheme.empty());
  return 0;
}
