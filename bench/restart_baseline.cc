// The restart benchmark's baseline: the fleet engine with restart waits that hold their slot,
// as every run did before they overlapped. Sets N cameras on 127.0.0.1 from FIRST_PORT with
// verification and prints one JSON line each; exit status 0 when every camera was verified.
//
//   restart_baseline FIRST_PORT COUNT JOBS on|off   (password in TILTWISE_PASSWORD)
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "base/Clock.h"
#include "fleet/CameraCourse.h"
#include "fleet/ReportFile.h"
#include "fleet/Runner.h"

namespace {

// The set step waits in its worker until the camera has gone away and answers again, so the
// engine's own read-back finds it back at once.
class HeldSlots : public fleet::CameraSteps {
 public:
  QueryResult Read(const CameraAccess& camera) override { return net_->Read(camera); }
  Outcome Set(const CameraAccess& camera, int flip, int mirror, Failure* failure) override {
    const Outcome outcome = net_->Set(camera, flip, mirror, failure);
    if (outcome != Outcome::kSetSuccess) return outcome;
    const std::int64_t end = tw::NowMs() + 120000;
    bool sawAway = false;
    while (tw::NowMs() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      CameraAccess again = camera;
      again.deadlineAtMs = end;
      const bool answers = ValuesRead(net_->Read(again));
      if (!answers) sawAway = true;
      if (answers && sawAway) break;
    }
    return outcome;
  }

 private:
  std::shared_ptr<fleet::CameraSteps> net_ = fleet::NetworkSteps();
};

}  // namespace

int main(int argc, char** argv) {
  const char* password = std::getenv("TILTWISE_PASSWORD");
  if (argc != 5 || password == nullptr) {
    std::cerr << "usage: TILTWISE_PASSWORD=... restart_baseline FIRST_PORT COUNT JOBS on|off\n";
    return 2;
  }
  const int first = std::atoi(argv[1]);
  const int count = std::atoi(argv[2]);
  const bool on = std::string(argv[4]) == "on";
  std::vector<fleet::Job> jobs;
  for (int i = 0; i < count; ++i) {
    fleet::Job job;
    job.address = tw::IPv4Address::FromHostOrder(0x7f000001);
    job.port = first + i;
    job.user = "admin";
    job.wanted = fleet::Orientation{on, false};
    job.keepMirror = true;
    jobs.push_back(job);
  }
  fleet::RunOptions options;
  options.mode = fleet::Mode::kSet;
  options.verify = true;
  options.verifySettleMs = 0;  // the set step has already seen each camera away and back
  options.password = password;
  options.jobs = std::atoi(argv[3]);
  if (!fleet::StartNetwork()) return 1;
  fleet::Run run(jobs, options, nullptr, std::make_shared<HeldSlots>());
  int verified = 0;
  for (const fleet::CameraReport& r : run.Execute()) {
    std::cout << fleet::JsonLine(r) << "\n";
    if (r.ok && r.verified.value_or(false)) ++verified;
  }
  fleet::EndNetwork();
  return verified == count ? 0 : 1;
}
