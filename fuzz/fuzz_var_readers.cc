// Script-variable readers. Input: one flag byte (bit 0: bNoVarPrefix), the key, "\n", the reply.
// Every value found must stand in the normalised reply exactly where its pattern says.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cgi/CgiCmd.h"
#include "fuzz/FuzzCheck.h"

namespace {

std::string Normalised(std::string s) {
  for (const char* from : {" =", "= "}) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t at; (at = s.find(from, pos)) != std::string::npos; pos = at + 2) {
      out.append(s, pos, at - pos).append("=");
    }
    s = out.append(s, pos, std::string::npos);
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int noPrefix = data[0] & 1;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string key = fuzz::AsText(fuzz::Field(&rest, '\n'));
  const std::string text = fuzz::AsText(rest);
  const CString ctext(text.c_str()), ckey(key.c_str());

  const std::string n = Normalised(text);
  const std::string prefix = noPrefix ? key : "var " + key;
  const std::string fallback = "var " + key + "=";

  const std::string dq = CCgiCmd::GetVarString(ctext, ckey, noPrefix).str();
  if (!dq.empty()) {
    FUZZ_CHECK(fuzz::Contains(n, prefix + "=\"" + dq + "\"") ||
               fuzz::Contains(n, fallback + dq + ";"));
  }
  const std::string sq = CCgiCmd::GetVarSqString(ctext, ckey, noPrefix).str();
  if (!sq.empty()) {
    FUZZ_CHECK(fuzz::Contains(n, prefix + "='" + sq + "';") ||
               fuzz::Contains(n, fallback + sq + ";"));
  }
  const std::string bare = CCgiCmd::GetVarValue(ctext, ckey, noPrefix).str();
  if (!bare.empty()) {
    FUZZ_CHECK(bare.find(';') == std::string::npos);
    FUZZ_CHECK(fuzz::Contains(n, prefix + "=" + bare + ";"));
  }
  // Without any quote of their kind, the quoted readers fall back to the bare value.
  if (!noPrefix && n.find('"') == std::string::npos) FUZZ_CHECK(dq == bare);
  if (!noPrefix && n.find('\'') == std::string::npos) FUZZ_CHECK(sq == bare);

  FUZZ_CHECK(CCgiCmd::GetVarInt(ctext, ckey, noPrefix) == fuzz::Atoi(bare));
  FUZZ_CHECK(CCgiCmd::GetVarStringInt(ctext, ckey, noPrefix) == fuzz::Atoi(dq));
  FUZZ_CHECK(ctext == text.c_str());  // the caller's text is never changed
  return 0;
}
