// The encoders: both must be undone exactly by their decoders, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cgi/CgiCmd.h"
#include "fuzz/FuzzCheck.h"

namespace {

std::string UrlDecodeEight(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      FUZZ_CHECK(i + 2 < s.size());
      const std::string code = s.substr(i, 3);
      const char* const codes[][2] = {{"%25", "%"}, {"%2B", "+"}, {"%20", " "}, {"%2F", "/"},
                                      {"%3F", "?"}, {"%23", "#"}, {"%26", "&"}, {"%3D", "="}};
      bool known = false;
      for (const auto& c : codes) {
        if (code == c[0]) {
          out += c[1];
          i += 2;
          known = true;
          break;
        }
      }
      FUZZ_CHECK(known);  // every "%" in the output starts one of the eight codes
      continue;
    }
    out += s[i];
  }
  return out;
}

std::string Base64Decode(const std::string& s) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  FUZZ_CHECK(s.size() % 4 == 0);
  std::string out;
  for (std::size_t i = 0; i < s.size(); i += 4) {
    unsigned v = 0;
    int pad = 0;
    for (int j = 0; j < 4; ++j) {
      char c = s[i + j];
      if (c == '=') {
        FUZZ_CHECK(i + 4 == s.size() && j >= 2);
        ++pad;
        v <<= 6;
        continue;
      }
      FUZZ_CHECK(pad == 0);
      std::size_t at = alphabet.find(c);
      FUZZ_CHECK(at != std::string::npos);
      v = (v << 6) | static_cast<unsigned>(at);
    }
    out += static_cast<char>(v >> 16);
    if (pad < 2) out += static_cast<char>((v >> 8) & 0xff);
    if (pad < 1) out += static_cast<char>(v & 0xff);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  const std::string encoded = CCgiCmd::UrlEncode(CString(input)).str();
  for (char c : std::string("+ /?#&=")) FUZZ_CHECK(encoded.find(c) == std::string::npos);
  FUZZ_CHECK(UrlDecodeEight(encoded) == input);

  const std::string text = fuzz::AsText(input);
  const std::string b64 = CCgiCmd::Base64Encode(CString(text.c_str())).str();
  FUZZ_CHECK(b64.size() == 4 * ((text.size() + 2) / 3));
  FUZZ_CHECK(Base64Decode(b64) == text);
  // The buffer form writes exactly its promised size, the same text.
  std::vector<char> out(b64.size() + 1 + 1, '#');
  CCgiCmd::Base64Encode(text.c_str(), out.data());
  FUZZ_CHECK(std::string(out.data()) == b64);
  FUZZ_CHECK(out[b64.size() + 1] == '#');
  return 0;
}
