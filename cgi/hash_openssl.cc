#include <openssl/evp.h>
#include <openssl/rand.h>

#include "cgi/Hash.h"

namespace hash {

std::string Hex(Kind kind, const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  const EVP_MD* md = kind == Kind::kMd5 ? EVP_md5() : EVP_sha256();
  if (EVP_Digest(data.data(), data.size(), digest, &length, md, nullptr) != 1) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0f];
  }
  return hex;
}

bool Random(unsigned char* out, std::size_t count) {
  return RAND_bytes(out, static_cast<int>(count)) == 1;
}

}  // namespace hash
