// The operating system's sockets behind one small interface. Exactly one implementation file
// (net_posix.cc or net_win32.cc) is compiled; nothing above this header knows which.
#ifndef TILTWISE_CGI_NET_H_
#define TILTWISE_CGI_NET_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace net {

#if defined(_WIN32)
using Socket = std::uintptr_t;  // the system's SOCKET, without pulling in <winsock2.h>
#else
using Socket = int;
#endif

extern const Socket kInvalidSocket;

// Starts and stops the socket library (Windows Sockets 2.2); no-ops elsewhere.
bool Startup();
void Cleanup();

// A blocking IPv4 TCP socket, or kInvalidSocket.
Socket OpenTcp();
void Close(Socket s);

// Connects to an IPv4 address given as its 32-bit value in network order
// (tw::IPv4Address::netOrder) and a port, waiting at
// most `timeoutMs` for the handshake. Leaves the socket in blocking mode. Returns true once
// connected; a refused connection fails at once.
bool ConnectWithin(Socket s, std::uint32_t addressNetOrder, int port, int timeoutMs);

enum class Wait { kReady, kTimeout, kError };
// Waits at most `timeoutMs` (a negative limit is an invalid wait and fails) until `s` can be
// read or written. Interrupted waits resume with the time that is left.
Wait WaitReadable(Socket s, int timeoutMs);
Wait WaitWritable(Socket s, int timeoutMs);

// send/recv with flags 0, except that a peer who has gone away never raises SIGPIPE, and that
// Send never blocks: it takes what fits in the socket buffer at once (perhaps only part) and
// fails with a transient error when nothing fits.
// Return the count, or -1 with the reason left for LastErrorIsTransient/LastErrorText.
int Send(Socket s, const char* data, int length);
int Recv(Socket s, char* buffer, int capacity);

// True when the last failure was "try again" or "interrupted" (EAGAIN/EINTR, or their Windows
// Sockets counterparts).
bool LastErrorIsTransient();
// True when the last failure was this machine's own limit (too many open files, no buffer
// space or memory), not anything a peer did.
bool LastErrorIsLocalLimit();
// The last socket error, as text with its number.
std::string LastErrorText();

// Connecting to many addresses at once, for finding devices: the sockets stay non-blocking
// and are only ever closed, never read or written.

// Raises the open-file soft limit as far as the hard limit allows and returns the number of
// sockets the process may still open, the files it holds already counted off (a large number
// where the system sets no such limit).
long RaiseOpenFileLimit();

enum class Connect { kConnected, kPending, kFailed };
// Opens a non-blocking IPv4 TCP socket into `s` and starts connecting. kFailed (refused at
// once, or no socket) leaves `s` invalid; otherwise the caller closes it.
Connect StartConnect(std::uint32_t addressNetOrder, int port, Socket* s);

struct PendingConnect {
  Socket socket = kInvalidSocket;
  bool done = false;       // the attempt has ended ...
  bool connected = false;  // ... with a connection
};
// Waits at most `timeoutMs` until at least one entry of `pending` not yet done ends, and marks
// every one that did. Any socket value is fine, however many there are. False when the wait
// itself failed; an interrupted wait returns true with nothing marked.
bool WaitConnects(PendingConnect* pending, std::size_t count, int timeoutMs);

}  // namespace net

#endif  // TILTWISE_CGI_NET_H_
