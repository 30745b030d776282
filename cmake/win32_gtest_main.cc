// GoogleTest's main for the Windows build. Windows Sockets are started for the whole run, as the
// application object does at start-up, so no test relies on a peer having started them, and a
// test that forgot would not pass only because every socket call failed.
// clang-format off
#include <winsock2.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    std::fprintf(stderr, "WSAStartup(2.2) failed: %d\n", ::WSAGetLastError());
    return 1;
  }
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  ::WSACleanup();
  return result;
}
