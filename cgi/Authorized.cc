#include "cgi/Authorized.h"

#include "base/Clock.h"
#include "cgi/CgiCmd.h"
#include "cgi/Hash.h"

namespace {

constexpr std::size_t kReplyLimit = 2048;  // what an exchange keeps of a reply

// The status code's three characters ("401"), empty when the reply has no status line.
CString StatusOf(const CString& reply) {
  const int space = reply.Find(' ');
  return reply.Find("HTTP/") == 0 && space > 0 ? reply.Mid(space + 1, 3) : CString();
}

bool Is401(const CString& reply) {
  return StatusOf(reply) == "401";
}

class Tries {
 public:
  Tries(const std::optional<tw::IPv4Address>& address, int port, const AuthLimits& limits,
        CString& reply)
      : address_(address), port_(port), limits_(limits), reply_(reply) {}

  int Send(const CString& request) {
    const std::int64_t start = tw::NowMs();
    int limit = limits_.exchangeLimitMs > 0 ? limits_.exchangeLimitMs : 0;
    if (limits_.deadlineAtMs != 0) {
      const std::int64_t left = limits_.deadlineAtMs - start;
      if (left <= 0) {
        reply_.Empty();
        cut_ = true;
        return 0;
      }
      if (limit == 0 || left < limit) limit = static_cast<int>(left);
    }
    // A request with a bound of its own lets the connection attempt use what is left of it.
    const auto connect = limits_.exchangeLimitMs > 0 ? CCgiCmd::ConnectLimit::kDeadline
                                                     : CCgiCmd::ConnectLimit::kOneWait;
    if (!address_) {
      reply_.Empty();
      return 0;
    }
    const int got = CCgiCmd::HttpGetRequest(*address_, port_, request, reply_, limits_.timeoutMs,
                                            limit, connect);
    cut_ = limit > 0 && tw::NowMs() - start >= limit;
    return got;
  }
  bool cut() const { return cut_; }

 private:
  const std::optional<tw::IPv4Address>& address_;
  int port_;
  const AuthLimits& limits_;
  CString& reply_;
  bool cut_ = false;
};

// Takes a 401's challenge into `memory`; false (with the reason kept) when there is none to use.
bool Learn(const CString& reply, AuthMemory& memory) {
  DigestChallenge c;
  const ChallengeSearch search = FindDigestChallenge(reply.str(), kReplyLimit, &c);
  memory.haveChallenge = search == ChallengeSearch::kFound;
  if (search != ChallengeSearch::kFound) {
    // Past the limit, the challenge may be in what was not read.
    const bool cut = reply.GetLength() >= static_cast<int>(kReplyLimit);
    memory.problem = search != ChallengeSearch::kNone ? ChallengeProblem(search)
                     : cut
                         ? ChallengeProblem(ChallengeSearch::kCut)
                         : "the camera asked for Digest before but offers no Digest challenge now";
    return false;
  }
  memory.challenge = std::move(c);
  memory.nc = 0;
  return true;
}

int Run(Tries& tries, const CString& user, const CString& password, const CString& path,
        CString& reply, AuthMemory& memory) {
  memory.problem.clear();
  const std::string login = hash::Hex(hash::Kind::kSha256, user.str() + ":" + password.str());
  bool fresh = true;
  if (!memory.digest) {
    const int got = tries.Send(CCgiCmd::BuildGetRequest(user, password, path));
    if (!got || !Is401(reply)) return got;
    DigestChallenge c;
    const ChallengeSearch search = FindDigestChallenge(reply.str(), kReplyLimit, &c);
    if (search == ChallengeSearch::kNone) return got;  // a Basic camera said no
    memory.digest = true;
    if (!Learn(reply, memory)) return got;
  } else if (!memory.haveChallenge) {
    // Asking without credentials is no login: it only fetches the challenge.
    const int got = tries.Send(CCgiCmd::BuildGetRequestWith(path, CString()));
    if (!got || !Is401(reply) || !Learn(reply, memory)) return got;
  } else {
    fresh = false;
  }
  for (bool retried = false;; retried = true) {
    const std::string cnonce = NewCnonce();
    const std::string line = cnonce.empty()
                                 ? std::string()
                                 : DigestAuthorization(memory.challenge, user.str(), password.str(),
                                                       path.str(), ++memory.nc, cnonce);
    if (line.empty()) {
      memory.problem = "the system's crypto library failed";
      reply.Empty();
      return 0;
    }
    const int got = tries.Send(CCgiCmd::BuildGetRequestWith(path, CString(line)));
    if (!got) return got;
    if (!Is401(reply)) {
      // A lockout's 403 says nothing of the password.
      if (StatusOf(reply).Left(1) == "2") memory.acceptedLogin = login;
      return got;
    }
    if (!Learn(reply, memory)) return got;
    // A stale or forgotten nonce is no verdict on the password; a fresh answer refused is.
    if (!retried && (memory.challenge.stale || (!fresh && login == memory.acceptedLogin))) {
      fresh = true;
      continue;
    }
    // The next command fetches its own challenge, so a wrong password costs it one refusal.
    memory.haveChallenge = false;
    return got;
  }
}

}  // namespace

const char* AuthSchemeName(const AuthMemory& memory) {
  return memory.digest ? "digest" : "basic";
}

int HttpGetAuthorized(const CString& ip, int port, const CString& user, const CString& password,
                      const CString& path, CString& reply, const AuthLimits& limits,
                      AuthMemory& memory, bool* cut) {
  return HttpGetAuthorized(tw::IPv4Address::ParsePasted(ip.GetString()), port, user, password, path,
                           reply, limits, memory, cut);
}

int HttpGetAuthorized(const std::optional<tw::IPv4Address>& address, int port, const CString& user,
                      const CString& password, const CString& path, CString& reply,
                      const AuthLimits& limits, AuthMemory& memory, bool* cut) {
  Tries tries(address, port, limits, reply);
  const int got = Run(tries, user, password, path, reply, memory);
  if (cut) *cut = tries.cut();
  return got;
}
