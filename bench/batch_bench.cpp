// The logo batch job over 500 titles with a fake window, against a loopback
// logo service, compared with a plain libcurl loop in interleaved rounds.
//
// The plain loop sends the same 500 requests over one reused easy handle and
// writes each body to its n.png (open, write, close), as a `curl -o` loop
// would. Against a service that answers a fixed 20 KB PNG after 20 ms the two
// should take about as long: the ratio shows what the job adds to the
// waiting. Against a service that answers at once, the job's time per pass
// shows the local cost of a pass alone. That cost grows with the pass number,
// because the job's header list gains seven pairs every pass and a pass n
// renders, completes, capitalises and hands over 7n header lines; the
// counters give the time of passes 1, 100 and 500 and the cost per header
// line between pass 100 and pass 500.
//
// Both sides write their files in a scratch folder under $TMPDIR (/tmp when
// unset); TMPDIR=/dev/shm takes the disk out of the figures.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/fake_window.h"
#include "app/logo_batch.h"
#include "app/scratch_working_folder.h"
#include "ratio_reporter.h"
#include "support/loopback_server.h"

namespace {

namespace fs = std::filesystem;
using quillmark::LogoService;
using quillmark::Text;
using quillmark::test_support::Answer;
using quillmark::test_support::LoopbackServer;
using quillmark::test_support::SeenRequest;
using Clock = std::chrono::steady_clock;

constexpr int kTitles = 500;
const std::string kImagePath = "/logoa/logo_img_sc.php";

std::string logo() {
  std::string body("\x89PNG\r\n\x1a\n", 8);
  while (body.size() < 20 * 1024) body.push_back(static_cast<char>('A' + body.size() % 26));
  return body;
}

// A logo service on loopback that answers every request with the logo after
// `delay`.
LoopbackServer& service(std::chrono::milliseconds delay) {
  static std::map<long, LoopbackServer*> servers;
  auto& server = servers[static_cast<long>(delay.count())];
  if (!server) {
    server = new LoopbackServer();
    server->handle(kImagePath, [delay, body = logo()](const SeenRequest&) {
      if (delay.count() > 0) std::this_thread::sleep_for(delay);
      Answer answer;
      answer.contentType = "image/png";
      answer.body = body;
      return answer;
    });
  }
  return *server;
}

Text titles() {
  std::string text;
  for (int n = 1; n <= kTitles; ++n) text += (n > 1 ? "\r\n" : "") + std::string("title ") + std::to_string(n);
  return Text(text);
}

// The fake window, noting when each pass begins (the job writes the caption
// first thing in a pass).
class TimedWindow : public quillmark::testing::FakeWindow {
 public:
  TimedWindow() : FakeWindow(titles(), Text("zm-1-205.png\r\ntb8-142.png\r\nz-(100).png\r\njz-1-110.png")) {}
  void writeCaption(const Text& caption) override {
    mark();
    FakeWindow::writeCaption(caption);
  }
  void mark() {
    starts.push_back(Clock::now());
    cpuStarts.push_back(quillmark::bench::threadCpuMicroseconds());
  }
  std::vector<Clock::time_point> starts;
  std::vector<double> cpuStarts;  // the job thread's processor time, microseconds
};

struct PassTimes {
  std::vector<double> wall;  // microseconds per pass, pass 1 first
  std::vector<double> cpu;   // the job thread's processor time per pass
};

// Runs the job in the working directory (it writes 1.png ... 500.png) and
// returns each pass's times.
PassTimes runBatch(const LoopbackServer& server) {
  TimedWindow window;
  quillmark::runLogoBatch(window, LogoService{Text("127.0.0.1:" + std::to_string(server.port()))});
  window.mark();
  PassTimes passes;
  for (std::size_t i = 1; i < window.starts.size(); ++i) {
    passes.wall.push_back(std::chrono::duration<double, std::micro>(window.starts[i] - window.starts[i - 1]).count());
    passes.cpu.push_back(window.cpuStarts[i] - window.cpuStarts[i - 1]);
  }
  return passes;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// Writes `body` to `name` in the working directory: created or emptied,
// written, closed.
void writeFile(const std::string& name, const std::string& body) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  for (std::size_t written = 0; written < body.size();) {
    const ssize_t n = ::write(fd, body.data() + written, body.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

// The same 500 GETs as the job sends (URL, the six header lines that reach
// the wire, a Cookie of the same length), one easy handle for all, each body
// written to its n.png in the working directory.
class PlainCurlLoop {
 public:
  explicit PlainCurlLoop(const LoopbackServer& server)
      : host_("127.0.0.1:" + std::to_string(server.port())),
        url_("http://" + host_ + kImagePath),
        cookie_(quillmark::logoCookieText(Text("tb8-142.png"), Text("title 1")).view()) {
    for (const std::string& line :
         {std::string("Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8"),
          std::string("Accept-Language: zh-CN,zh;q=0.9"), "Host: " + host_,
          "Referer: http://" + host_ + "/logoa/wenzi.php", std::string("Upgrade-Insecure-Requests: 1"),
          std::string("User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
                      "Chrome/63.0.3239.132 Safari/537.36"),
          std::string("Connection: Keep-Alive")})
      headers_ = curl_slist_append(headers_, line.c_str());
    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROXY, "");
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy_, CURLOPT_COOKIE, cookie_.c_str());
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
  }
  ~PlainCurlLoop() {
    curl_easy_cleanup(easy_);
    curl_slist_free_all(headers_);
  }
  PlainCurlLoop(const PlainCurlLoop&) = delete;
  PlainCurlLoop& operator=(const PlainCurlLoop&) = delete;

  void operator()() {
    for (int n = 1; n <= kTitles; ++n) {
      body_.clear();
      curl_easy_perform(easy_);
      writeFile(std::to_string(n) + ".png", body_);
    }
  }

 private:
  std::string host_;
  std::string url_;
  std::string cookie_;
  CURL* easy_ = curl_easy_init();
  curl_slist* headers_ = nullptr;
  std::string body_;
};

constexpr int kRounds = 10;

void BM_Batch20msAgainstPlainCurl(benchmark::State& state) {
  const LoopbackServer& server = service(std::chrono::milliseconds(20));
  const quillmark::testing::ScratchWorkingFolder folder("batch-bench");
  PlainCurlLoop plain(server);
  quillmark::bench::compareInRounds(
      state,
      {.baselineName = "plain libcurl loop, 20 ms service", .candidateName = "batch job", .rounds = kRounds,
       .callsPerRound = kTitles},
      [&] { plain(); }, [&] { benchmark::DoNotOptimize(runBatch(server)); });
}
BENCHMARK(BM_Batch20msAgainstPlainCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The mean of passes first..last (1-based) of every run.
double meanOf(const std::vector<std::vector<double>>& runs, int first, int last) {
  double sum = 0;
  int count = 0;
  for (const auto& passes : runs)
    for (int n = first; n <= last && n <= static_cast<int>(passes.size()); ++n, ++count) sum += passes[n - 1];
  return count ? sum / count : 0;
}

void BM_BatchAtOnceAgainstPlainCurl(benchmark::State& state) {
  const LoopbackServer& server = service(std::chrono::milliseconds(0));
  const quillmark::testing::ScratchWorkingFolder folder("batch-bench");
  PlainCurlLoop plain(server);
  std::vector<std::vector<double>> wall;
  std::vector<std::vector<double>> cpu;
  quillmark::bench::compareInRounds(
      state,
      {.baselineName = "plain libcurl loop, immediate service", .candidateName = "batch job", .rounds = kRounds,
       .callsPerRound = kTitles},
      [&] { plain(); }, [&] {
        PassTimes passes = runBatch(server);
        wall.push_back(std::move(passes.wall));
        cpu.push_back(std::move(passes.cpu));
      });
  // A pass alone is short, so each figure is the mean over a few passes
  // around it and over all rounds. Wall time includes the round trip; the
  // job thread's processor time is the local cost alone, and on a shared
  // machine the steadier figure.
  const auto report = [&](const std::vector<std::vector<double>>& runs, const std::string& kind) {
    const double pass1 = meanOf(runs, 1, 3);
    const double pass100 = meanOf(runs, 98, 102);
    const double pass500 = meanOf(runs, 496, 500);
    state.counters[kind + "_pass1_us"] = pass1;
    state.counters[kind + "_pass100_us"] = pass100;
    state.counters[kind + "_pass500_us"] = pass500;
    // Pass n handles 7n header lines: the slope between passes 100 and 500
    // is the cost of one line; what a pass costs besides cancels out.
    state.counters[kind + "_us_per_line"] = (pass500 - pass100) / (7.0 * 400);
  };
  report(wall, "wall");
  report(cpu, "cpu");
}
BENCHMARK(BM_BatchAtOnceAgainstPlainCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
