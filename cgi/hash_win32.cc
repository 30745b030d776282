#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "cgi/Hash.h"

namespace hash {

std::string Hex(Kind kind, const std::string& data) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  const wchar_t* name = kind == Kind::kMd5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
  if (BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0) < 0) return {};
  unsigned char digest[32];
  const ULONG length = kind == Kind::kMd5 ? 16 : 32;
  BCRYPT_HASH_HANDLE h = nullptr;
  bool ok = BCryptCreateHash(algorithm, &h, nullptr, 0, nullptr, 0, 0) >= 0;
  // BCryptHashData takes a non-const pointer but only reads it.
  ok = ok && BCryptHashData(h, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                            static_cast<ULONG>(data.size()), 0) >= 0;
  ok = ok && BCryptFinishHash(h, digest, length, 0) >= 0;
  if (h) BCryptDestroyHash(h);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (ULONG i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0f];
  }
  return hex;
}

bool Random(unsigned char* out, std::size_t count) {
  return BCryptGenRandom(nullptr, out, static_cast<ULONG>(count),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

}  // namespace hash
