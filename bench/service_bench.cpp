// Throughput and latency of the logo service with keep-alive clients on
// loopback, against baselines in the same run: the about page over the same
// connections (the cost of HTTP alone), and a logo drawn and encoded in this
// process without HTTP. The 4-client figure is measured alone and again with
// 64 idle keep-alive connections open (from other loopback addresses, each
// asking for the about page every 4 s so the idle time-out keeps them).
// The parts of a logo are timed too: drawing, and encoding with Qt's PNG
// writer against the service's own encoder.
//
//   service_bench --benchmark_counters_tabular=true
//
// logos/s is items_per_second; p99_ms is the 99th percentile of one
// request's latency, per client thread, averaged over the threads.
#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "ratio_reporter.h"
#include "service/logo_renderer.h"
#include "service/logo_service.h"
#include "service/png_encoder.h"
#include "service/raw_http.h"

namespace {

using quillmark::service::testing::RawConnection;

int gPort = 0;

const std::vector<std::string>& templateNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    const char* prefixes[] = {"tb", "zm", "dw", "rw", "zw", "jz", "fn", "yu", "kc", "z"};
    for (int i = 0; i < 200; ++i)
      out.push_back(std::string(prefixes[i % 10]) + "-" + std::to_string(i % 7 + 1) + "-" +
                    std::to_string(i) + ".png");
    return out;
  }();
  return names;
}

const std::string& fixedTitle() {
  static const std::string title = quillmark::platform::utf8ToGbk("第三方影院");
  return title;
}

// A title of its own for every call: four Chinese characters from a counter.
std::string distinctTitle(std::uint64_t n) {
  std::string title;
  for (int i = 0; i < 4; ++i) {
    title += static_cast<char>(0xb0 + n % 40);
    title += static_cast<char>(0xa1 + (n / 40) % 89);
    n /= 3560;
    n += static_cast<std::uint64_t>(i) * 7;
  }
  return title;
}

std::string cookieFor(const std::string& templateName, const std::string& title) {
  return "zitia=z134.ttf; miniziti=bmxy.ttf; txtcolor=444444; minicolor=666666; tu=" + templateName +
         "; leixing=logo; bianhao=214767; txt=" + title + "; monitor_count=3";
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

// 64 keep-alive connections that stay open and idle while they exist.
class IdleCrowd {
 public:
  IdleCrowd() {
    for (int i = 0; i < 64; ++i) {
      connections_.emplace_back(gPort, "127.0.1." + std::to_string(1 + i / 16));
      ask(connections_.back());
    }
    refresher_ = std::thread([this] {
      std::unique_lock lock(mutex_);
      while (!stopping_) {
        if (wake_.wait_for(lock, std::chrono::seconds(4), [this] { return stopping_; })) break;
        for (RawConnection& c : connections_) ask(c);
      }
    });
  }
  ~IdleCrowd() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    refresher_.join();
  }
  IdleCrowd(const IdleCrowd&) = delete;
  IdleCrowd& operator=(const IdleCrowd&) = delete;

 private:
  static void ask(RawConnection& c) {
    if (c.send(quillmark::service::testing::getRequest(quillmark::service::kAboutPath))) c.readResponse();
  }
  std::vector<RawConnection> connections_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread refresher_;
};

std::unique_ptr<IdleCrowd> gCrowd;

enum class Ask { about, logo, distinctTitles };

void runClient(benchmark::State& state, Ask what, bool withCrowd) {
  if (state.thread_index() == 0) {
    if (withCrowd && !gCrowd) gCrowd = std::make_unique<IdleCrowd>();
    if (!withCrowd) gCrowd.reset();
  }
  RawConnection connection(gPort);
  const auto& names = templateNames();
  std::vector<double> latencies;
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 37;
  static std::atomic<std::uint64_t> titleCounter{0};
  std::int64_t failures = 0;
  for (auto _ : state) {
    const std::string request =
        what == Ask::about ? quillmark::service::testing::getRequest(quillmark::service::kAboutPath)
        : what == Ask::logo
            ? quillmark::service::testing::logoRequest(cookieFor(names[i++ % names.size()], fixedTitle()))
            : quillmark::service::testing::logoRequest(cookieFor(names[i++ % names.size()], distinctTitle(titleCounter++)));
    const auto start = std::chrono::steady_clock::now();
    const bool sent = connection.send(request);
    const auto answer = sent ? connection.readResponse() : std::nullopt;
    latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!answer || answer->status != 200) {
      ++failures;
      connection = RawConnection(gPort);
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["p99_ms"] = benchmark::Counter(percentile(latencies, 0.99), benchmark::Counter::kAvgThreads);
  state.counters["p50_ms"] = benchmark::Counter(percentile(latencies, 0.50), benchmark::Counter::kAvgThreads);
  state.counters["failures"] = benchmark::Counter(static_cast<double>(failures));
}

void BM_AboutPageOverHttp(benchmark::State& state) { runClient(state, Ask::about, false); }
void BM_LogoOverHttp(benchmark::State& state) { runClient(state, Ask::logo, false); }
void BM_LogoOverHttpDistinctTitles(benchmark::State& state) { runClient(state, Ask::distinctTitles, false); }
void BM_LogoOverHttpWith64Idle(benchmark::State& state) { runClient(state, Ask::logo, true); }

quillmark::service::LogoRequest benchRequest(std::size_t i) {
  quillmark::service::LogoRequest request;
  request.titleGbk = fixedTitle();
  request.templateName = templateNames()[i % templateNames().size()];
  return request;
}

void BM_LogoInProcess(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(quillmark::service::renderLogoPng(benchRequest(i++)));
  state.SetItemsProcessed(state.iterations());
}

void BM_DrawOnly(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(quillmark::service::renderLogoImage(benchRequest(i++)));
  state.SetItemsProcessed(state.iterations());
}

// What the service encoded with before: Qt's PNG writer at quality 80.
void BM_EncodeQtWriter(benchmark::State& state) {
  const QImage image = quillmark::service::renderLogoImage(benchRequest(1));
  for (auto _ : state) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(80);
    writer.write(image);
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EncodeRgbPng(benchmark::State& state) {
  const QImage image = quillmark::service::renderLogoImage(benchRequest(1));
  for (auto _ : state) benchmark::DoNotOptimize(quillmark::service::encodeRgbPng(image));
  state.SetItemsProcessed(state.iterations());
}

// Alone first: the idle crowd opens with the first benchmark that wants it.
BENCHMARK(BM_AboutPageOverHttp)->Threads(4)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_LogoOverHttp)->Threads(1)->Threads(4)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_LogoOverHttpDistinctTitles)->Threads(4)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_LogoOverHttpWith64Idle)->Threads(4)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_LogoInProcess)->Threads(1)->Threads(2)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DrawOnly)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_EncodeQtWriter)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_EncodeRgbPng)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication application(qtArgc, qtArgv);

  quillmark::service::LogoServer server;
  const std::optional<int> port = server.start("127.0.0.1", 0);
  if (!port) return EXIT_FAILURE;
  gPort = *port;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return EXIT_FAILURE;
  quillmark::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  gCrowd.reset();
  const auto& t = reporter.times;
  const auto ratio = [&](const char* a, const char* b) {
    const auto x = t.find(a);
    const auto y = t.find(b);
    if (x != t.end() && y != t.end() && y->second > 0)
      std::printf("%-70s %.2f\n", (std::string(a) + " / " + b).c_str(), x->second / y->second);
  };
  std::printf("\nRatios of real time per logo:\n");
  ratio("BM_LogoOverHttpWith64Idle/min_time:3.000/real_time/threads:4", "BM_LogoOverHttp/min_time:3.000/real_time/threads:4");
  ratio("BM_LogoOverHttp/min_time:3.000/real_time/threads:4", "BM_AboutPageOverHttp/min_time:3.000/real_time/threads:4");
  ratio("BM_EncodeRgbPng/min_time:1.000/real_time", "BM_EncodeQtWriter/min_time:1.000/real_time");
  ratio("BM_DrawOnly/min_time:1.000/real_time", "BM_LogoInProcess/min_time:2.000/real_time/threads:1");
  benchmark::Shutdown();
  server.stop();
  return EXIT_SUCCESS;
}
