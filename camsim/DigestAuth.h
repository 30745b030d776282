// The simulator's side of Digest logins: the challenges a camera offers, the nonces it issued,
// and the check of an Authorization value. Written apart from the client's code in cgi/, so the
// two check each other.
#ifndef TILTWISE_CAMSIM_DIGESTAUTH_H_
#define TILTWISE_CAMSIM_DIGESTAUTH_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace camsim {

// What a camera asks for: Basic; Digest with MD5; Digest with SHA-256 only; or Basic and both
// Digest algorithms.
enum class AuthMode { kBasic, kDigest, kDigestSha256, kAny };

const char* AuthModeName(AuthMode mode);  // "basic", "digest", "digest-sha256", "any"
bool ParseAuthMode(std::string_view name, AuthMode* mode);

// The nonces one camera handed out, forgotten when it restarts.
class NonceBook {
 public:
  std::string Issue(std::int64_t now_ms);
  enum class Use { kUnknown, kStale, kReplayed, kFresh };
  // Records `nc` for `nonce` when it is fresh and counts up.
  Use Check(const std::string& nonce, unsigned long nc, std::int64_t now_ms,
            std::int64_t lifetime_ms);
  void Clear() { nonces_.clear(); }

 private:
  struct Entry {
    std::int64_t issued_ms = 0;
    unsigned long last_nc = 0;
  };
  std::map<std::string, Entry> nonces_;
  std::uint64_t counter_ = 0;
};

// What a camera's Digest check needs besides its settings.
struct DigestContext {
  NonceBook* nonces = nullptr;
  std::int64_t now_ms = 0;
  std::int64_t lifetime_ms = 300000;
};

enum class Login;  // CameraHttp.h

struct AuthVerdict {
  bool passed = false;
  Login login{};                // kNone
  const char* scheme = "none";  // "basic", "digest" or "none": what the request used
  bool stale = false;           // the 401 says stale=true
};

// Checks the request's Authorization value against what the camera asks for.
AuthVerdict CheckLogin(std::string_view authorization, bool has_authorization,
                       std::string_view target, AuthMode mode, std::string_view user,
                       std::string_view password, const DigestContext& context);

// The WWW-Authenticate lines of a 401 (each ending in CRLF), with fresh nonces.
std::string ChallengeLines(AuthMode mode, bool stale, const DigestContext& context);

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_DIGESTAUTH_H_
