// The download's search for the end of the header, fed in reads cut anywhere. Input: one byte
// that chooses the read sizes, then the reply. The body kept must be what follows the first
// "\r\n\r\n" of the whole reply, however it was cut.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cgi/HeaderEnd.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  unsigned state = data[0];
  const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);

  HeaderEnd header;
  std::string body;
  for (std::size_t at = 0; at < reply.size();) {
    state = state * 1103515245u + 12345u;
    const std::size_t want = 1 + (state >> 16) % (data[0] & 1 ? 7 : 2048);
    const std::size_t take = want < reply.size() - at ? want : reply.size() - at;
    const std::size_t from = header.Feed(reply.data() + at, take);
    FUZZ_CHECK(from <= take);
    body.append(reply, at + from, take - from);
    at += take;
  }
  const std::size_t end = reply.find("\r\n\r\n");
  FUZZ_CHECK(header.found() == (end != std::string::npos));
  FUZZ_CHECK(body == (end == std::string::npos ? std::string() : reply.substr(end + 4)));
  return 0;
}
