// ScriptedPeer: a real TCP server on 127.0.0.1, port chosen by the system, that plays one
// scripted reply to every connection, one connection after the other, on its own thread. For
// tests and benchmarks of clients that must cope with servers as they really behave: closing,
// falling silent, sending in pieces, sending too much or nothing at all.
//
//   tiltwise_test::ScriptedPeer peer(tiltwise_test::ScriptedPeer::AnswerAndClose(reply));
//   ... connect to 127.0.0.1:peer.port() ...
//   peer.Request();  // the exact bytes the client sent
//   // the destructor stops the thread (within a few tens of milliseconds) and joins it
#ifndef TILTWISE_TESTS_SCRIPTEDPEER_H_
#define TILTWISE_TESTS_SCRIPTEDPEER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tiltwise_test {

// One write of the reply, made after a pause.
struct Write {
  std::string bytes;
  int pauseBeforeMs = 0;
};

struct Script {
  // Read the request up to its empty line (or until the client stops sending) before
  // answering. Off: answer at once and leave whatever the client sends unread.
  bool readRequest = true;
  // The reply, one send per entry. None: close without sending a byte.
  std::vector<Write> writes;
  // After the last write, keep the connection open and silent this long, then close. Capped
  // at kMaxHoldMs so no test can hang on it.
  int silentMs = 0;
  // Close with a reset (RST) instead of an orderly shutdown.
  bool reset = false;
  // Replies by request target ("/qx.html"): a request for one of these gets it in one write
  // instead of `writes`.
  std::map<std::string, std::string> answers;
};

class ScriptedPeer {
 public:
  static constexpr int kMaxHoldMs = 60000;

  // Listening when the constructor returns; a failure to listen throws std::runtime_error.
  explicit ScriptedPeer(Script script);
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  int port() const { return port_; }

  // The bytes read on the latest connection, exactly as received (empty before any).
  std::string Request() const;
  // The request targets read so far, in order ("" for a request without one).
  std::vector<std::string> Targets() const;
  // Connections served to the end (closed by the peer). The count rises after the close, which
  // may come after the client has read its reply: wait for it rather than read it at once.
  int Connections() const;
  // Waits at most `timeoutMs` until `count` connections have been served.
  bool WaitForConnections(int count, int timeoutMs) const;

  static Script AnswerAndClose(std::string reply);
  static Script AnswerAndStaySilent(std::string reply, int silentMs);
  static Script AcceptAndClose();
  // `pieces` sent one by one, each after `pauseMs`, then closed.
  static Script InPieces(std::vector<std::string> pieces, int pauseMs);

 private:
  void Run();
  void Serve(std::intptr_t client);
  bool Sleep(int ms);  // false when stopped meanwhile

  Script script_;
  std::intptr_t listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable served_;
  std::string request_;
  std::vector<std::string> targets_;
  int connections_ = 0;
  std::thread thread_;
};

// A loopback port where nothing listens: bound once by the system's choice, then released.
int UnusedLoopbackPort();

// A loopback port held bound but never listening for the object's life: connections to it are
// refused, and no other program can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort();  // throws std::runtime_error when it cannot bind
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }

 private:
  std::intptr_t socket_;
  int port_ = 0;
};

}  // namespace tiltwise_test

#endif  // TILTWISE_TESTS_SCRIPTEDPEER_H_
