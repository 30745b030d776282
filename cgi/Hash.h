// The digests and the random bytes the Digest login needs, from the platform's crypto library:
// hash_openssl.cc (libcrypto) or hash_win32.cc (BCrypt), chosen by the build.
#ifndef TILTWISE_CGI_HASH_H_
#define TILTWISE_CGI_HASH_H_

#include <cstddef>
#include <string>

namespace hash {

enum class Kind { kMd5, kSha256 };

// The digest of `data` as lowercase hex (32 or 64 characters); empty if the library failed.
std::string Hex(Kind kind, const std::string& data);

// `count` bytes from the system's random source; false if it failed (`out` then unspecified).
bool Random(unsigned char* out, std::size_t count);

}  // namespace hash

#endif  // TILTWISE_CGI_HASH_H_
