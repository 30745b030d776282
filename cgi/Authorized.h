// One GET that logs in the way the camera wants: Basic as always, until the camera answers with
// a Digest challenge; from then on Digest only. What a camera taught is kept in its AuthMemory,
// which the caller owns (one per camera and run) and passes in: the exchange keeps nothing.
#ifndef TILTWISE_CGI_AUTHORIZED_H_
#define TILTWISE_CGI_AUTHORIZED_H_

#include <cstdint>
#include <optional>
#include <string>

#include "base/CString.h"
#include "base/IPv4Address.h"
#include "cgi/Digest.h"

struct AuthMemory {
  // The camera asked for Digest (or a list said it would): Basic is never sent to it again.
  bool digest = false;
  bool haveChallenge = false;  // `challenge` may be answered with the next nc
  DigestChallenge challenge;
  unsigned nc = 0;  // the last nc sent with challenge.nonce
  // A digest of the login the camera last let in with Digest: a held nonce refused to another
  // login is a wrong password, not a forgotten nonce.
  std::string acceptedLogin;
  // Why the last refusal could not be answered (a challenge cut or unknown); else empty.
  std::string problem;
};

// "digest" once the camera asked for it, else "basic".
const char* AuthSchemeName(const AuthMemory& memory);

struct AuthLimits {
  int timeoutMs = 3000;     // each wait
  int exchangeLimitMs = 0;  // each request from connect to last byte; 0: none
  // Monotonic time (tw::NowMs) after which no request starts or goes on; 0: none.
  std::int64_t deadlineAtMs = 0;
};

// HttpGet's result and reply, with the login `memory` calls for. A camera not known to want
// Digest gets today's Basic request, byte for byte. A 401 that offers Digest is answered at once;
// one with stale=true, or one to a nonce held from before (with the login it last let in), gets
// exactly one more try with its fresh challenge; a 401 to a fresh answer is the final reply (a
// wrong password). At most three
// requests, each a new exchange under `limits`. `cut`, when given, says whether the deadline or
// a request's own limit ended the last one.
int HttpGetAuthorized(const CString& ip, int port, const CString& user, const CString& password,
                      const CString& path, CString& reply, const AuthLimits& limits,
                      AuthMemory& memory, bool* cut = nullptr);
// The same to an address read before; none: nothing is sent and 0 comes back, as for an
// address the exchange cannot read.
int HttpGetAuthorized(const std::optional<tw::IPv4Address>& address, int port, const CString& user,
                      const CString& password, const CString& path, CString& reply,
                      const AuthLimits& limits, AuthMemory& memory, bool* cut = nullptr);

#endif  // TILTWISE_CGI_AUTHORIZED_H_
