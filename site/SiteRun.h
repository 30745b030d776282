// A run of the fleet engine on a thread of its own, as the site window needs it: the one place
// that knows how the engine reports progress, so a change there stays here.
#ifndef TILTWISE_SITE_SITERUN_H_
#define TILTWISE_SITE_SITERUN_H_

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fleet/Runner.h"
#include "fleet/Scan.h"

namespace site {

// Called on the run's thread, one call at a time.
struct RunEvents {
  // A camera was read (job index); the set of `wanted` goes out only when this returns true.
  std::function<bool(size_t job, const fleet::Orientation& before,
                     const fleet::Orientation& wanted)>
      read;
  // The set went out; the camera restarts and is waited for; it answers again (job index).
  std::function<void(size_t job)> setSent;
  std::function<void(size_t job)> restarting;
  std::function<void(size_t job)> back;
  std::function<void(const fleet::CameraReport&)> finished;
  std::function<void(const fleet::Progress&)> progress;
  // Last: every report, in job order.
  std::function<void(std::vector<fleet::CameraReport>)> done;
};

// A scan's news, on its thread as RunEvents are.
struct ScanEvents {
  std::function<void(const fleet::ScanResult&)> found;
  std::function<void(const fleet::ScanProgress&)> progress;
  std::function<void(const fleet::ScanProgress&)> done;
};

class SiteRun {
 public:
  SiteRun() = default;
  ~SiteRun();  // stops at once and waits for the thread
  SiteRun(const SiteRun&) = delete;
  SiteRun& operator=(const SiteRun&) = delete;

  // False when a run is under way or no thread can be started.
  bool Start(std::vector<fleet::Job> jobs, fleet::RunOptions options, RunEvents events);
  // A scan instead; it has no stop at once: its probes under way always finish (each within its
  // deadline), as they hold what the scan owns.
  bool StartScan(std::vector<fleet::Endpoint> endpoints, fleet::ScanOptions options,
                 ScanEvents events);
  // No further camera starts; the ones under way finish, their restarts included.
  void Stop();
  // The cameras under way are abandoned as well.
  void StopAtOnce();
  bool Stopping() const;
  bool Running() const;
  bool Scanning() const { return Running() && state_->scan; }
  // Waits for the thread once `done` was called (or the run never started).
  void Join();

 private:
  class Observer;
  // Shared with the run's thread and the engine's workers, which an abandoned run leaves
  // behind for a while: they may still call the observer after this object has gone.
  struct State {
    std::atomic<bool> stop{false};  // a scan's
    std::atomic<bool> finished{false};
    std::mutex mu;
    bool closed = false;  // `done` was called: no further events
    bool scan = false;
    RunEvents events;
    std::shared_ptr<Observer> observer;
    std::shared_ptr<fleet::Run> run;
  };
  bool Launch(std::shared_ptr<State> state, std::function<void()> body);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace site

#endif  // TILTWISE_SITE_SITERUN_H_
