#include "camsim/DigestAuth.h"

#include <openssl/evp.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "camsim/CameraHttp.h"

namespace camsim {
namespace {

constexpr char kOpaque[] = "5ccc069c403ebaf9f0171e9517f40e41";

std::string Hex(bool sha256, const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, sha256 ? EVP_sha256() : EVP_md5(), nullptr);
  std::string out;
  char two[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    out += two;
  }
  return out;
}

// name=value pairs of a Digest Authorization value, names in lower case.
std::map<std::string, std::string> Params(std::string_view v) {
  std::map<std::string, std::string> out;
  size_t i = 0;
  while (i < v.size()) {
    while (i < v.size() && (v[i] == ' ' || v[i] == ',' || v[i] == '\t')) ++i;
    std::string name;
    while (i < v.size() && v[i] != '=' && v[i] != ' ' && v[i] != ',') {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(v[i++])));
    }
    while (i < v.size() && v[i] == ' ') ++i;
    if (i >= v.size() || v[i] != '=') continue;
    ++i;
    std::string value;
    if (i < v.size() && v[i] == '"') {
      for (++i; i < v.size() && v[i] != '"'; ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) ++i;
        value += v[i];
      }
      ++i;
    } else {
      while (i < v.size() && v[i] != ',' && v[i] != ' ') value += v[i++];
    }
    out.emplace(name, value);
  }
  return out;
}

std::string DigestChallenge(const char* algorithm, bool stale, const DigestContext& context) {
  return std::string("Digest realm=\"") + kRealm + "\", qop=\"auth\", algorithm=" + algorithm +
         ", nonce=\"" + context.nonces->Issue(context.now_ms) + "\", opaque=\"" + kOpaque + "\"" +
         (stale ? ", stale=true" : "");
}

}  // namespace

const char* AuthModeName(AuthMode mode) {
  switch (mode) {
    case AuthMode::kBasic:
      return "basic";
    case AuthMode::kDigest:
      return "digest";
    case AuthMode::kDigestSha256:
      return "digest-sha256";
    case AuthMode::kAny:
      return "any";
  }
  return "?";
}

bool ParseAuthMode(std::string_view name, AuthMode* mode) {
  for (AuthMode m :
       {AuthMode::kBasic, AuthMode::kDigest, AuthMode::kDigestSha256, AuthMode::kAny}) {
    if (name == AuthModeName(m)) {
      *mode = m;
      return true;
    }
  }
  return false;
}

std::string NonceBook::Issue(std::int64_t now_ms) {
  char text[40];
  std::snprintf(text, sizeof text, "%08llx%016llx", static_cast<unsigned long long>(++counter_),
                static_cast<unsigned long long>(now_ms) * 2654435761ull);
  nonces_[text] = Entry{now_ms, 0};
  // A client that never comes back must not grow the book without end.
  if (nonces_.size() > 4096) nonces_.erase(nonces_.begin());
  return text;
}

NonceBook::Use NonceBook::Check(const std::string& nonce, unsigned long nc, std::int64_t now_ms,
                                std::int64_t lifetime_ms) {
  auto it = nonces_.find(nonce);
  if (it == nonces_.end()) return Use::kUnknown;
  if (now_ms - it->second.issued_ms > lifetime_ms) return Use::kStale;
  if (nc <= it->second.last_nc) return Use::kReplayed;
  it->second.last_nc = nc;
  return Use::kFresh;
}

AuthVerdict CheckLogin(std::string_view authorization, bool has_authorization,
                       std::string_view target, AuthMode mode, std::string_view user,
                       std::string_view password, const DigestContext& context) {
  AuthVerdict v;
  v.login = Login::kNone;
  if (!has_authorization) return v;
  const size_t sp = authorization.find(' ');
  const std::string_view scheme = authorization.substr(0, sp);
  if (EqualsNoCase(scheme, "Basic")) {
    v.scheme = "basic";
    // A camera that wants Digest counts Basic as a failed login, whatever it holds.
    v.passed = (mode == AuthMode::kBasic || mode == AuthMode::kAny) &&
               CheckBasicAuth(authorization, user, password);
    v.login = v.passed ? Login::kPassed : Login::kFailed;
    return v;
  }
  if (!EqualsNoCase(scheme, "Digest") || sp == std::string_view::npos) {
    v.login = Login::kFailed;
    return v;
  }
  v.scheme = "digest";
  v.login = Login::kFailed;
  if (mode == AuthMode::kBasic || !context.nonces) return v;
  auto p = Params(authorization.substr(sp + 1));
  const std::string algorithm = p.count("algorithm") ? p["algorithm"] : "MD5";
  const bool sha = algorithm == "SHA-256";
  const bool offered =
      sha ? mode != AuthMode::kDigest : algorithm == "MD5" && mode != AuthMode::kDigestSha256;
  if (!offered || p["realm"] != kRealm || p["uri"] != target || p["qop"] != "auth" ||
      p["opaque"] != kOpaque) {
    return v;
  }
  const std::string name = std::string(user);
  const std::string expected_user = p["userhash"] == "true" ? Hex(sha, name + ":" + kRealm) : name;
  const std::string ha1 = Hex(sha, name + ":" + kRealm + ":" + std::string(password));
  const std::string ha2 = Hex(sha, "GET:" + std::string(target));
  const std::string response =
      Hex(sha, ha1 + ":" + p["nonce"] + ":" + p["nc"] + ":" + p["cnonce"] + ":auth:" + ha2);
  const unsigned long nc = std::strtoul(p["nc"].c_str(), nullptr, 16);
  const NonceBook::Use use =
      context.nonces->Check(p["nonce"], nc, context.now_ms, context.lifetime_ms);
  // A nonce it never issued (or forgot in a restart) cannot tell a wrong password.
  if (use == NonceBook::Use::kUnknown) {
    v.login = Login::kNone;
    return v;
  }
  if (p["username"] != expected_user || p["response"] != response) return v;
  if (use != NonceBook::Use::kFresh) {
    v.login = Login::kNone;
    v.stale = true;
    return v;
  }
  v.passed = true;
  v.login = Login::kPassed;
  return v;
}

std::string ChallengeLines(AuthMode mode, bool stale, const DigestContext& context) {
  const std::string basic = std::string("Basic realm=\"") + kRealm + "\"";
  if (mode == AuthMode::kBasic || !context.nonces) return "WWW-Authenticate: " + basic + "\r\n";
  if (mode == AuthMode::kDigest) {
    return "WWW-Authenticate: " + DigestChallenge("MD5", stale, context) + "\r\n";
  }
  if (mode == AuthMode::kDigestSha256) {
    return "WWW-Authenticate: " + DigestChallenge("SHA-256", stale, context) + "\r\n";
  }
  // Two challenges on one line and one on its own, the one to prefer last.
  return "WWW-Authenticate: " + basic + ", " + DigestChallenge("MD5", stale, context) +
         "\r\nWWW-Authenticate: " + DigestChallenge("SHA-256", stale, context) + "\r\n";
}

}  // namespace camsim
