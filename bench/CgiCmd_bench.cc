// One whole GET exchange on loopback, HttpGet beside libcurl making the same request on a fresh
// connection each time, and the readers on a typical 2 KB reply. Ends by printing the ratio
// HttpGet time / libcurl time (medians of the repetitions; below 1 means HttpGet is faster).
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cgi/CgiCmd.h"
#include "tests/ScriptedPeer.h"

namespace {

const std::string kMotorReply =
    "HTTP/1.1 200 OK\r\nServer: camera-httpd\r\nCache-Control: no-cache\r\n"
    "Content-Type: text/plain\r\nConnection: close\r\n\r\n"
    "var flip=\"1\";\r\nvar mirror=\"0\";\r\n";

// The camera: answers every connection and closes it, as the real one does.
tiltwise_test::ScriptedPeer& Camera() {
  static tiltwise_test::ScriptedPeer peer(tiltwise_test::ScriptedPeer::AnswerAndClose(kMotorReply));
  return peer;
}

std::string Url() {
  return "http://127.0.0.1:" + std::to_string(Camera().port()) + "/param.cgi?cmd=getmotorrange";
}

void BM_HttpGet(benchmark::State& state) {
  const int port = Camera().port();
  CString reply;
  for (auto _ : state) {
    if (CCgiCmd::HttpGet("127.0.0.1", port, "admin", "quillpen", "/param.cgi?cmd=getmotorrange",
                         reply, 3000) != 1 ||
        reply.GetLength() != static_cast<int>(kMotorReply.size())) {
      state.SkipWithError("HttpGet failed");
      break;
    }
  }
}

size_t Collect(char* data, size_t size, size_t count, void* into) {
  static_cast<std::string*>(into)->append(data, size * count);
  return size * count;
}

void SetUp(CURL* curl, const std::string& url, std::string* reply) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
  curl_easy_setopt(curl, CURLOPT_USERPWD, "admin:quillpen");
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 3000L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, reply);
}

// A new easy handle for every request: everything set up afresh, as HttpGet does.
void BM_CurlFreshHandle(benchmark::State& state) {
  const std::string url = Url();
  std::string reply;
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    reply.clear();
    SetUp(curl, url, &reply);
    CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK || reply.empty()) {
      state.SkipWithError(curl_easy_strerror(rc));
      break;
    }
  }
}

// libcurl at its best: one handle kept, only the connection is new each time.
void BM_CurlReusedHandle(benchmark::State& state) {
  const std::string url = Url();
  std::string reply;
  CURL* curl = curl_easy_init();
  SetUp(curl, url, &reply);
  for (auto _ : state) {
    reply.clear();
    CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK || reply.empty()) {
      state.SkipWithError(curl_easy_strerror(rc));
      break;
    }
  }
  curl_easy_cleanup(curl);
}

// A camera's information page as HttpGet hands it back: headers and about 2 KB of variables,
// with the three the dialog reads spread through it.
CString TypicalReply() {
  std::string r =
      "HTTP/1.1 200 OK\r\nServer: camera-httpd\r\nCache-Control: no-cache\r\n"
      "Content-Type: text/html\r\nConnection: close\r\n\r\n";
  for (int i = 0; r.size() < 2048 - 64; ++i) {
    if (i == 10) r += "var chip_type = 71;\r\n";
    if (i == 25) r += "var flip=\"1\";\r\n";
    r += "var setting_" + std::to_string(i) + "=\"value " + std::to_string(i * 37) + "\";\r\n";
  }
  r += "var mirror=\"0\";\r\n";
  return CString(r.substr(0, 2048));
}

void BM_ReadersOnTypicalReply(benchmark::State& state) {
  const CString reply = TypicalReply();
  for (auto _ : state) {
    int chip = CCgiCmd::GetVarInt(reply, "chip_type", 0);
    CString flip = CCgiCmd::GetVarString(reply, "flip", 0);
    CString mirror = CCgiCmd::GetVarString(reply, "mirror", 0);
    benchmark::DoNotOptimize(chip);
    benchmark::DoNotOptimize(flip);
    benchmark::DoNotOptimize(mirror);
    if (chip != 71 || flip != "1" || mirror != "0") {
      state.SkipWithError("readers gave wrong values");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * 3 * reply.GetLength());
}

// Every benchmark stops by itself: benchmark's iteration control within a minimum time.
BENCHMARK(BM_HttpGet)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CurlFreshHandle)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CurlReusedHandle)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadersOnTypicalReply)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// Shows the runs as usual and keeps each benchmark's median (or single) real time.
class MedianKeeper : public benchmark::ConsoleReporter {
 public:
  MedianKeeper() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  // Repetitions of the three exchanges take turns, so a busy spell on the machine falls on all
  // of them rather than on whichever ran then.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  MedianKeeper reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  curl_global_cleanup();

  const auto& m = reporter.medians;
  auto ratio = [&](const char* against, const char* label) {
    if (!m.count("BM_HttpGet") || !m.count(against) || m.at(against) <= 0) return;
    std::printf("Ratio HttpGet / libcurl (%s): %.2f  (%.1f us vs %.1f us per exchange)\n", label,
                m.at("BM_HttpGet") / m.at(against), m.at("BM_HttpGet"), m.at(against));
  };
  ratio("BM_CurlFreshHandle", "fresh handle");
  ratio("BM_CurlReusedHandle", "reused handle, fresh connection");
  return 0;
}
