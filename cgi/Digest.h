// Digest access authentication as a client does it: reading a reply's WWW-Authenticate
// challenges and composing the Authorization value that answers one.
#ifndef TILTWISE_CGI_DIGEST_H_
#define TILTWISE_CGI_DIGEST_H_

#include <string>
#include <string_view>
#include <vector>

enum class DigestAlgorithm { kMd5, kMd5Sess, kSha256, kSha256Sess };

// "MD5", "MD5-sess", "SHA-256", "SHA-256-sess".
const char* DigestAlgorithmName(DigestAlgorithm algorithm);

// One challenge as it was written: the scheme and its parameters (names as sent).
struct AuthParam {
  std::string name;
  std::string value;  // without quotes and escapes
};
struct RawChallenge {
  std::string scheme;
  std::vector<AuthParam> params;
  bool broken = false;  // a quoted value never ended
};

// Splits the value of one WWW-Authenticate line into its challenges.
std::vector<RawChallenge> ParseChallenges(std::string_view value);

// A Digest challenge this client can answer.
struct DigestChallenge {
  DigestAlgorithm algorithm = DigestAlgorithm::kMd5;
  bool algorithmGiven = false;  // echoed only when the server named it
  std::string realm;
  std::string nonce;
  std::string opaque;
  bool hasOpaque = false;
  bool qopAuth = false;  // false: an old-style challenge, answered without qop, nc and cnonce
  bool stale = false;
  bool userhash = false;
};

// Takes a Digest challenge apart; false when this client cannot answer it (another scheme, no
// realm or nonce, an unknown algorithm, a qop list without "auth", "-sess" without qop).
bool ReadDigestChallenge(const RawChallenge& raw, DigestChallenge* out);

enum class ChallengeSearch {
  kNone,      // no Digest challenge in the reply
  kFound,     // the best one is in `best`
  kUnusable,  // Digest was asked for, but with nothing this client can answer
  kCut,       // a Digest challenge was cut by the reply limit before it could be read whole
};

// Looks through every WWW-Authenticate line of a reply's header; of the challenges this client
// can answer, the first SHA-256 one wins, else the first MD5 one. A line that the end of the
// reply cut off is not read at all.
ChallengeSearch FindDigestChallenge(const std::string& reply, std::size_t replyLimit,
                                    DigestChallenge* best);

// What one search result means, for people; empty for kFound and kNone.
const char* ChallengeProblem(ChallengeSearch search);

// The Authorization value ("Digest username=..., response=...") for GET `uri` (the exact
// request target, query included). `nc` counts the uses of this nonce from 1. Empty when the
// crypto library failed.
std::string DigestAuthorization(const DigestChallenge& challenge, const std::string& user,
                                const std::string& password, const std::string& uri, unsigned nc,
                                const std::string& cnonce);

// A fresh client nonce from the system's random source (32 hex digits); empty on failure.
std::string NewCnonce();

#endif  // TILTWISE_CGI_DIGEST_H_
