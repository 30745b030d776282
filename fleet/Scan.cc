#include "fleet/Scan.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/Clock.h"
#include "base/IPv4Address.h"
#include "camera/CameraProcedures.h"
#include "cgi/Authorized.h"
#include "cgi/net.h"
#include "fleet/Runner.h"

namespace fleet {
namespace {

// Whether a cause says nothing about what the device is: no reply, or one cut short.
bool SaysNothing(Cause cause) {
  return cause == Cause::kRefused || cause == Cause::kTimedOut || cause == Cause::kDeadline ||
         cause == Cause::kBadAddress;
}

void Fail(ScanResult& r, DeviceClass kind, const Failure& failure, const std::string& more = "") {
  r.kind = kind;
  r.cause = failure.cause;
  r.request = failure.request;
  r.httpStatus = failure.httpStatus;
  r.detail = failure.detail.str() + more;
}

CameraAccess Access(const Endpoint& endpoint, const Credential& login, const ScanOptions& o,
                    std::int64_t deadlineAt, AuthMemory* memory) {
  CameraAccess access;
  access.auth = memory;
  access.address = tw::IPv4Address::FromHostOrder(endpoint.address);
  const int port = endpoint.port;
  access.port = port;
  access.user = login.user.c_str();
  access.password = login.password.c_str();
  access.timeoutMs = o.timeoutMs;
  access.deadlineAtMs = deadlineAt;
  return access;
}

// Values only from a read that held both and was not cut off; otherwise the reason.
void ReadOrientation(const QueryResult& q, ScanResult& r) {
  if (q.chipType != 0) r.chipType = q.chipType;
  if (ValuesRead(q)) {
    r.flip = q.flip != 0;
    r.mirror = q.mirror != 0;
    return;
  }
  r.cause = q.failure.cause;
  r.request = q.failure.request;
  r.httpStatus = q.failure.httpStatus;
  r.detail = DetailFor(q.failure);
}

// Whether a connection that failed at once failed here: no socket to be had.
bool LocalLimitNow() {
  const net::Socket s = net::OpenTcp();
  if (s == net::kInvalidSocket) return net::LastErrorIsLocalLimit();
  net::Close(s);
  return false;
}

}  // namespace

const char* DeviceClassName(DeviceClass kind) {
  switch (kind) {
    case DeviceClass::kCamera:
      return "camera";
    case DeviceClass::kAuthFailed:
      return "auth-failed";
    case DeviceClass::kNotACamera:
      return "not-a-camera";
    case DeviceClass::kNoReply:
      return "no-reply";
    case DeviceClass::kNoAnswer:
      return "no-answer";
  }
  return "?";
}

// Each credential set is tried once: on the information page until one is not refused, and on
// getmotorrange, which may want a login the page did not. A page that is not there (404, or
// one without a chip type) leaves the motor range to decide, with every set. One AuthMemory for
// the device: a Digest camera costs each set one refusal, not a Basic request and an answer.
ScanResult ProbeDevice(const Endpoint& endpoint, const ScanOptions& o) {
  const std::int64_t start = tw::NowMs();
  const std::int64_t deadlineAt = start + o.deadlineMs;
  ScanResult r;
  r.host = tw::IPv4Address::FromHostOrder(endpoint.address).ToString();
  r.port = endpoint.port;
  AuthMemory memory;
  InfoPage page;
  bool pageRead = false;  // answered, and not with a refusal
  bool pageless = false;  // ... but naming no chip: only the motor range tells
  size_t refusals = 0;
  Request refusedAt = Request::kInfoPage;
  bool decided = false;
  auto stopped = [&](const Failure& why) {
    Fail(r, DeviceClass::kAuthFailed, why,
         ": no further credential set tried (" + std::to_string(refusals + 1) + " tried)");
  };
  for (size_t i = 0; i < o.credentials.size() && !decided; ++i) {
    const Credential& c = o.credentials[i];
    const CameraAccess access = Access(endpoint, c, o, deadlineAt, &memory);
    if (!pageRead) {
      page = ProbeInfoPage(access);
      const Failure& why = page.failure;
      decided = true;
      if (!page.answered && refusals > 0) {
        Fail(r, DeviceClass::kAuthFailed, why,
             " after " + std::to_string(refusals) + " refused credential set(s)");
      } else if (!page.answered) {
        // It accepted the sweep's connection: something is there.
        Fail(r, DeviceClass::kNoReply, why);
        r.localLimit = why.cause == Cause::kRefused && LocalLimitNow();
      } else if (why.cause == Cause::kUnauthorized) {
        ++refusals;
        decided = false;
        continue;
      } else if (StopsTries(why.httpStatus)) {
        stopped(why);
      } else if (why.cause != Cause::kNone && SaysNothing(why.cause)) {
        Fail(r, DeviceClass::kNoReply, why);
      } else if (why.cause != Cause::kNone && why.httpStatus != 404 && why.httpStatus != 200) {
        Fail(r, DeviceClass::kNotACamera, why);
      } else {
        decided = false;
        pageless = why.cause != Cause::kNone;
        pageRead = true;
      }
      if (decided) break;
    }
    const QueryResult q = QueryOrientation(access, page);
    if (q.failure.cause == Cause::kUnauthorized) {
      ++refusals;
      refusedAt = q.failure.request;
      continue;
    }
    decided = true;
    if (StopsTries(q.failure.httpStatus)) {
      stopped(q.failure);
    } else if (pageless && !ValuesRead(q)) {
      Fail(r, DeviceClass::kNotACamera, page.failure);
    } else {
      // A camera, perhaps without an information page.
      r.kind = DeviceClass::kCamera;
      r.user = c.user;
      r.login = static_cast<int>(i + 1);
      ReadOrientation(q, r);
    }
  }
  if (!decided) {
    Failure none;
    none.request = refusedAt;
    if (refusals > 0) {
      none.cause = Cause::kUnauthorized;
      none.httpStatus = 401;
      none.detail = CString(std::string(RequestName(refusedAt)) +
                            ": 401 Unauthorized to every credential set (" +
                            std::to_string(refusals) + " tried)");
      Fail(r, DeviceClass::kAuthFailed, none);
    } else {
      none.detail = "information page: no credential set to try";
      Fail(r, DeviceClass::kNoAnswer, none);
    }
  }
  if (r.kind == DeviceClass::kCamera || r.kind == DeviceClass::kAuthFailed) {
    r.auth = AuthSchemeName(memory);
    if (memory.digest && !memory.challenge.nonce.empty()) {
      r.algorithm = DigestAlgorithmName(memory.challenge.algorithm);
    }
  }
  r.elapsedMs = tw::NowMs() - start;
  return r;
}

namespace {

// Hands out the endpoints that accepted a connection to the probing threads.
class Scanner {
 public:
  Scanner(const std::vector<Endpoint>& endpoints, const ScanOptions& options,
          const std::atomic<bool>& stop, const std::function<void(const ScanResult&)>& onResult)
      : endpoints_(endpoints), options_(options), stop_(stop), onResult_(onResult) {
    progress_.total = endpoints.size();
  }

  bool abandoned() const { return abandoned_; }

  std::vector<ScanResult> Run(const std::function<void(const ScanProgress&)>& onTick, int tickMs,
                              ScanProgress* progress) {
    const std::int64_t start = tw::NowMs();
    // Each probe holds one socket at a time, each connect in flight one; a few files stay
    // for the output. With little room both get a share, rather than devices seeming silent.
    const long room = net::RaiseOpenFileLimit() - 16;
    size_t workers =
        std::min<size_t>(std::max(options_.jobs, 1), std::max<size_t>(endpoints_.size(), 1));
    size_t inFlight = options_.maxInFlight > 0 ? options_.maxInFlight : kMaxInFlight;
    if (room < static_cast<long>(workers + inFlight)) {
      workers = std::clamp<size_t>(static_cast<size_t>(std::max(room, 2L)) / 2, 1, workers);
      inFlight = std::clamp<size_t>(static_cast<size_t>(std::max(room, 2L)) - workers, 1, inFlight);
    }
    retries_.assign(endpoints_.size(), 0);

    std::vector<std::thread> threads;
    try {
      threads.emplace_back([this, inFlight] { Sweep(inFlight); });
    } catch (const std::system_error&) {
      Sweep(inFlight);  // no thread to spare: sweep first, probe after
    }
    size_t started = 0;
    for (; started < workers; ++started) {
      try {
        threads.emplace_back([this] { Probe(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    if (started == 0) Probe();  // on this thread, until the sweep is done
    {
      std::unique_lock<std::mutex> lock(mu_);
      for (;;) {
        const bool finished = sweepDone_ && (queue_.empty() || stop_.load()) && probing_ == 0;
        progress_.stopping = stop_.load();
        progress_.elapsedMs = tw::NowMs() - start;
        if (finished) break;
        if (options_.hardStop != nullptr && options_.hardStop->load()) {
          abandoned_ = true;
          for (std::thread& t : threads) t.detach();
          if (progress) *progress = progress_;
          std::vector<ScanResult> sofar = results_;
          std::sort(sofar.begin(), sofar.end(),
                    [](const ScanResult& a, const ScanResult& b) { return a.index < b.index; });
          return sofar;
        }
        if (onTick) {
          const ScanProgress now = progress_;
          lock.unlock();
          onTick(now);
          lock.lock();
        }
        changed_.wait_for(lock, std::chrono::milliseconds(std::max(tickMs, 10)));
      }
    }
    changed_.notify_all();
    for (std::thread& t : threads) t.join();
    progress_.elapsedMs = tw::NowMs() - start;
    if (onTick) onTick(progress_);
    if (progress) *progress = progress_;
    std::sort(results_.begin(), results_.end(),
              [](const ScanResult& a, const ScanResult& b) { return a.index < b.index; });
    return std::move(results_);
  }

 private:
  static constexpr size_t kMaxInFlight = 8192;
  static constexpr int kLocalRetries = 50;

  // Nothing in flight, and still no socket: waits for the probes to close some. False once
  // that has lasted five seconds; the endpoints not tried are then the run's error.
  bool WaitForRoom(const std::string& why) {
    if (localStall_ == 0) localStall_ = tw::NowMs();
    if (tw::NowMs() - localStall_ < 5000) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return true;
    }
    std::lock_guard<std::mutex> lock(mu_);
    progress_.localError = "connects could not open a socket: " + why;
    return false;
  }

  void Report(ScanResult r) {
    std::lock_guard<std::mutex> lock(mu_);
    if (abandoned_) return;
    Count(r.kind);
    if (r.kind == DeviceClass::kNoAnswer && !options_.keepNoAnswer) return;
    if (onResult_) onResult_(r);
    results_.push_back(std::move(r));
  }

  // Needs mu_.
  void Count(DeviceClass kind) {
    switch (kind) {
      case DeviceClass::kCamera:
        ++progress_.cameras;
        break;
      case DeviceClass::kAuthFailed:
        ++progress_.authFailed;
        break;
      case DeviceClass::kNotACamera:
        ++progress_.notACamera;
        break;
      case DeviceClass::kNoReply:
        ++progress_.noReply;
        break;
      case DeviceClass::kNoAnswer:
        ++progress_.noAnswer;
        break;
    }
  }

  void NoConnection(size_t i, Cause cause, const std::string& why) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      ++progress_.swept;
      if (!options_.keepNoAnswer) Count(DeviceClass::kNoAnswer);
    }
    if (!options_.keepNoAnswer) return;
    ScanResult r;
    r.index = i;
    r.host = tw::IPv4Address::FromHostOrder(endpoints_[i].address).ToString();
    r.port = endpoints_[i].port;
    r.cause = cause;
    r.detail = why;
    Report(std::move(r));
  }

  void Open(size_t i) {
    std::lock_guard<std::mutex> lock(mu_);
    ++progress_.swept;
    ++progress_.open;
    queue_.push_back(i);
    changed_.notify_all();
  }

  void Sweep(size_t inFlight) {
    std::vector<net::PendingConnect> pending;
    std::vector<size_t> which;
    std::vector<std::int64_t> until;
    const std::string timedOut =
        "connect: timed out after " + std::to_string(options_.timeoutMs) + " ms";
    size_t next = 0;
    while (!stop_.load()) {
      while (pending.size() < inFlight && next < endpoints_.size() && !stop_.load()) {
        const size_t i = next++;
        net::Socket s = net::kInvalidSocket;
        switch (net::StartConnect(tw::IPv4Address::FromHostOrder(endpoints_[i].address).netOrder(),
                                  endpoints_[i].port, &s)) {
          case net::Connect::kConnected:
            net::Close(s);
            Open(i);
            break;
          case net::Connect::kFailed:
            if (net::LastErrorIsLocalLimit()) {
              // This machine ran out, not the device: fewer at once, and this one again.
              const std::string why = net::LastErrorText();
              --next;
              inFlight = std::max<size_t>(1, pending.size());
              if (pending.empty() && !WaitForRoom(why)) next = endpoints_.size();
              break;
            }
            localStall_ = 0;
            NoConnection(i, Cause::kRefused, "connect: " + net::LastErrorText());
            break;
          case net::Connect::kPending:
            net::PendingConnect c;
            c.socket = s;
            pending.push_back(c);
            which.push_back(i);
            until.push_back(tw::NowMs() + options_.timeoutMs);
            break;
        }
      }
      if (pending.empty()) {
        if (next >= endpoints_.size()) break;
        continue;
      }
      localStall_ = 0;
      // Short turns, so a stop is seen soon; the earliest limit may be sooner still.
      const std::int64_t now = tw::NowMs();
      const std::int64_t wait = std::clamp<std::int64_t>(until.front() - now, 0, 50);
      if (!net::WaitConnects(pending.data(), pending.size(), static_cast<int>(wait))) {
        for (net::PendingConnect& c : pending) c.done = true;  // connected stays false
      }
      const std::int64_t after = tw::NowMs();
      size_t kept = 0;
      for (size_t k = 0; k < pending.size(); ++k) {
        const net::PendingConnect c = pending[k];
        if (c.done || after >= until[k]) {
          net::Close(c.socket);
          if (c.connected) {
            Open(which[k]);
          } else if (c.done) {
            NoConnection(which[k], Cause::kRefused, "connect: refused or unreachable");
          } else {
            NoConnection(which[k], Cause::kTimedOut, timedOut);
          }
          continue;
        }
        pending[kept] = c;
        which[kept] = which[k];
        until[kept] = until[k];
        ++kept;
      }
      pending.resize(kept);
      which.resize(kept);
      until.resize(kept);
    }
    for (const net::PendingConnect& c : pending) net::Close(c.socket);
    std::lock_guard<std::mutex> lock(mu_);
    if (!progress_.localError.empty() && !stop_.load()) {
      progress_.localFailures += endpoints_.size() - progress_.swept;
    }
    sweepDone_ = true;
    changed_.notify_all();
  }

  void Probe() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      changed_.wait(lock, [this] { return !queue_.empty() || sweepDone_ || stop_.load(); });
      if (stop_.load() || queue_.empty() || abandoned_) {
        if (stop_.load() || sweepDone_ || abandoned_) break;
        continue;
      }
      const size_t i = queue_.front();
      queue_.pop_front();
      ++probing_;
      lock.unlock();
      ScanResult r = ProbeDevice(endpoints_[i], options_);
      r.index = i;
      if (r.localLimit) {
        // No socket to be had: try it again once others have closed theirs.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        lock.lock();
        --probing_;
        if (++retries_[i] < kLocalRetries) {
          queue_.push_back(i);
        } else {
          ++progress_.localFailures;
          progress_.localError = "probes could not open a socket: " + r.detail;
        }
        changed_.notify_all();
        continue;
      }
      Report(std::move(r));
      lock.lock();
      --probing_;
      ++progress_.probed;
      changed_.notify_all();
    }
  }

  const std::vector<Endpoint> endpoints_;  // copies: abandoned probes may outlive the caller's
  const ScanOptions options_;
  const std::atomic<bool>& stop_;
  const std::function<void(const ScanResult&)>& onResult_;
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<size_t> queue_;
  bool sweepDone_ = false;
  bool abandoned_ = false;
  size_t probing_ = 0;
  std::vector<int> retries_;     // local-limit retries of each endpoint's probe
  std::int64_t localStall_ = 0;  // since when no connect could get a socket; sweep only
  ScanProgress progress_;
  std::vector<ScanResult> results_;
};

}  // namespace

std::vector<ScanResult> RunScan(const std::vector<Endpoint>& endpoints, const ScanOptions& options,
                                const std::atomic<bool>& stop,
                                const std::function<void(const ScanResult&)>& onResult,
                                const std::function<void(const ScanProgress&)>& onTick,
                                ScanProgress* progress, int tickMs) {
  auto scanner = std::make_unique<Scanner>(endpoints, options, stop, onResult);
  std::vector<ScanResult> results = scanner->Run(onTick, tickMs, progress);
  // Left to the threads still inside an exchange; the process ends before they do.
  if (scanner->abandoned()) (void)scanner.release();
  return results;
}

}  // namespace fleet
