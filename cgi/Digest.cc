#include "cgi/Digest.h"

#include <cctype>
#include <cstdio>

#include "cgi/Hash.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

bool IsTokenChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (std::isalnum(u)) return true;
  for (const char* p = "!#$%&'*+-.^_`|~"; *p; ++p) {
    if (*p == c) return true;
  }
  return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// The first parameter of that name (any case), or null.
const std::string* Param(const RawChallenge& raw, std::string_view name) {
  for (const AuthParam& p : raw.params) {
    if (EqualsNoCase(p.name, name)) return &p.value;
  }
  return nullptr;
}

bool IsSha256(DigestAlgorithm a) {
  return a == DigestAlgorithm::kSha256 || a == DigestAlgorithm::kSha256Sess;
}

bool IsSess(DigestAlgorithm a) {
  return a == DigestAlgorithm::kMd5Sess || a == DigestAlgorithm::kSha256Sess;
}

std::string H(DigestAlgorithm a, const std::string& data) {
  return hash::Hex(IsSha256(a) ? hash::Kind::kSha256 : hash::Kind::kMd5, data);
}

// A quoted-string with the two characters that need it escaped.
std::string Quote(const std::string& value) {
  std::string q = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

bool IsAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) return false;
  }
  return true;
}

// RFC 8187's form for a user name that plain ASCII cannot carry.
std::string ExtendedValue(const std::string& text) {
  std::string out = "UTF-8''";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos) {
      out += c;
    } else {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", u);
      out += code;
    }
  }
  return out;
}

}  // namespace

const char* DigestAlgorithmName(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kMd5:
      return "MD5";
    case DigestAlgorithm::kMd5Sess:
      return "MD5-sess";
    case DigestAlgorithm::kSha256:
      return "SHA-256";
    case DigestAlgorithm::kSha256Sess:
      return "SHA-256-sess";
  }
  return "?";
}

std::vector<RawChallenge> ParseChallenges(std::string_view v) {
  std::vector<RawChallenge> out;
  std::size_t i = 0;
  const std::size_t n = v.size();
  while (i < n) {
    while (i < n && (IsSpace(v[i]) || v[i] == ',')) ++i;
    const std::size_t start = i;
    while (i < n && IsTokenChar(v[i])) ++i;
    if (i == start) {
      if (i < n) ++i;  // a stray character: neither a scheme nor a name
      continue;
    }
    const std::string_view token = v.substr(start, i - start);
    std::size_t j = i;
    while (j < n && IsSpace(v[j])) ++j;
    if (j >= n || v[j] != '=' || out.empty()) {
      // A token not followed by "=" starts the next challenge.
      if (j < n && v[j] == '=') {
        i = j + 1;  // a parameter before any scheme belongs to none
        continue;
      }
      out.push_back(RawChallenge{std::string(token), {}, false});
      continue;
    }
    i = j + 1;
    while (i < n && IsSpace(v[i])) ++i;
    std::string value;
    if (i < n && v[i] == '"') {
      bool closed = false;
      for (++i; i < n; ++i) {
        if (v[i] == '\\' && i + 1 < n) {
          value += v[++i];
        } else if (v[i] == '"') {
          closed = true;
          ++i;
          break;
        } else {
          value += v[i];
        }
      }
      if (!closed) out.back().broken = true;
    } else {
      while (i < n && !IsSpace(v[i]) && v[i] != ',') value += v[i++];
    }
    out.back().params.push_back(AuthParam{std::string(token), std::move(value)});
  }
  return out;
}

bool ReadDigestChallenge(const RawChallenge& raw, DigestChallenge* out) {
  if (!EqualsNoCase(raw.scheme, "Digest") || raw.broken) return false;
  DigestChallenge c;
  const std::string* realm = Param(raw, "realm");
  const std::string* nonce = Param(raw, "nonce");
  if (!realm || !nonce || nonce->empty()) return false;
  // Echoed into our own header: a control character there could end or split the line.
  for (const AuthParam& p : raw.params) {
    for (char ch : p.value) {
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) return false;
    }
  }
  c.realm = *realm;
  c.nonce = *nonce;
  if (const std::string* algorithm = Param(raw, "algorithm")) {
    static const DigestAlgorithm kAll[] = {DigestAlgorithm::kMd5, DigestAlgorithm::kMd5Sess,
                                           DigestAlgorithm::kSha256, DigestAlgorithm::kSha256Sess};
    bool known = false;
    for (DigestAlgorithm a : kAll) {
      if (EqualsNoCase(*algorithm, DigestAlgorithmName(a))) {
        c.algorithm = a;
        known = true;
      }
    }
    if (!known) return false;  // never guessed
    c.algorithmGiven = true;
  }
  if (const std::string* qop = Param(raw, "qop")) {
    std::string_view list = *qop;
    while (!list.empty()) {
      const std::size_t comma = list.find(',');
      if (EqualsNoCase(Trim(list.substr(0, comma)), "auth")) c.qopAuth = true;
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    if (!c.qopAuth) return false;  // auth-int alone would need the body we do not send
  } else if (IsSess(c.algorithm)) {
    return false;  // the session key needs a cnonce, which only goes with qop
  }
  if (const std::string* opaque = Param(raw, "opaque")) {
    c.opaque = *opaque;
    c.hasOpaque = true;
  }
  const std::string* stale = Param(raw, "stale");
  c.stale = stale && EqualsNoCase(*stale, "true");
  const std::string* userhash = Param(raw, "userhash");
  c.userhash = userhash && EqualsNoCase(*userhash, "true");
  *out = std::move(c);
  return true;
}

ChallengeSearch FindDigestChallenge(const std::string& reply, std::size_t replyLimit,
                                    DigestChallenge* best) {
  bool digestSeen = false;
  bool found = false;
  bool headerEnded = false;
  std::size_t at = reply.find('\n');  // past the status line
  while (at != std::string::npos && at + 1 < reply.size()) {
    const std::size_t start = at + 1;
    at = reply.find('\n', start);
    std::string_view line(reply.data() + start,
                          (at == std::string::npos ? reply.size() : at) - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) {
      headerEnded = true;
      break;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos ||
        !EqualsNoCase(Trim(line.substr(0, colon)), "WWW-Authenticate")) {
      continue;
    }
    for (const RawChallenge& raw : ParseChallenges(line.substr(colon + 1))) {
      if (!EqualsNoCase(raw.scheme, "Digest")) continue;
      digestSeen = true;
      DigestChallenge c;
      // A line without its end may have lost a parameter: it is not answered.
      if (at == std::string::npos || !ReadDigestChallenge(raw, &c)) continue;
      if (!found || (IsSha256(c.algorithm) && !IsSha256(best->algorithm))) *best = std::move(c);
      found = true;
    }
  }
  if (found) return ChallengeSearch::kFound;
  if (!digestSeen) return ChallengeSearch::kNone;
  return !headerEnded && reply.size() >= replyLimit ? ChallengeSearch::kCut
                                                    : ChallengeSearch::kUnusable;
}

const char* ChallengeProblem(ChallengeSearch search) {
  switch (search) {
    case ChallengeSearch::kUnusable:
      return "the camera asks for Digest with no algorithm this program knows";
    case ChallengeSearch::kCut:
      return "the camera's login challenge lies beyond the first 2048 bytes of its reply and "
             "cannot be read";
    case ChallengeSearch::kNone:
    case ChallengeSearch::kFound:
      break;
  }
  return "";
}

std::string DigestAuthorization(const DigestChallenge& c, const std::string& user,
                                const std::string& password, const std::string& uri, unsigned nc,
                                const std::string& cnonce) {
  const DigestAlgorithm a = c.algorithm;
  std::string ha1 = H(a, user + ":" + c.realm + ":" + password);
  if (IsSess(a)) ha1 = H(a, ha1 + ":" + c.nonce + ":" + cnonce);
  const std::string ha2 = H(a, "GET:" + uri);
  char count[9];
  std::snprintf(count, sizeof count, "%08x", nc);
  const std::string response =
      c.qopAuth ? H(a, ha1 + ":" + c.nonce + ":" + count + ":" + cnonce + ":auth:" + ha2)
                : H(a, ha1 + ":" + c.nonce + ":" + ha2);
  if (ha1.empty() || ha2.empty() || response.empty()) return {};

  std::string line = "Digest ";
  if (c.userhash) {
    line += "username=" + Quote(H(a, user + ":" + c.realm));
  } else if (IsAscii(user)) {
    line += "username=" + Quote(user);
  } else {
    line += "username*=" + ExtendedValue(user);
  }
  line += ", realm=" + Quote(c.realm) + ", uri=" + Quote(uri);
  if (c.algorithmGiven) line += std::string(", algorithm=") + DigestAlgorithmName(a);
  line += ", nonce=" + Quote(c.nonce);
  if (c.qopAuth) line += std::string(", nc=") + count + ", cnonce=" + Quote(cnonce) + ", qop=auth";
  line += ", response=" + Quote(response);
  if (c.hasOpaque) line += ", opaque=" + Quote(c.opaque);
  if (c.userhash) line += ", userhash=true";
  return line;
}

std::string NewCnonce() {
  unsigned char bytes[16];
  if (!hash::Random(bytes, sizeof bytes)) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0x0f];
  }
  return hex;
}
