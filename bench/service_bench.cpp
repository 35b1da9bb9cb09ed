// Throughput and latency of the logo service with concurrent keep-alive
// clients on loopback, against two baselines in the same run: the about page
// over the same connections (the cost of HTTP alone) and drawing a logo
// in-process without HTTP.
//
//   service_bench --benchmark_counters_tabular=true
//
// logos/s is items_per_second of BM_LogoOverHttp; p99_ms is the 99th
// percentile of one request's latency, per client thread, averaged.
#include <QGuiApplication>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "service/logo_renderer.h"
#include "service/logo_service.h"

namespace {

using quillmark::service::LogoServer;

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

std::string cookieFor(const std::string& templateName) {
  return "zitia=z134.ttf; miniziti=bmxy.ttf; txtcolor=444444; minicolor=666666; tu=" + templateName +
         "; leixing=logo; bianhao=214767; txt=" + quillmark::platform::utf8ToGbk("第三方影院") +
         "; monitor_count=3";
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

void runClient(benchmark::State& state, const char* path) {
  httplib::Client client("127.0.0.1", gPort);
  client.set_keep_alive(true);
  const auto& names = templateNames();
  std::vector<double> latencies;
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 37;
  std::int64_t failures = 0;
  for (auto _ : state) {
    const httplib::Headers headers{{"Cookie", cookieFor(names[i++ % names.size()])}};
    const auto start = std::chrono::steady_clock::now();
    const auto result = client.Get(path, headers);
    latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!result || result->status != 200) ++failures;
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["p99_ms"] = benchmark::Counter(percentile(latencies, 0.99), benchmark::Counter::kAvgThreads);
  state.counters["p50_ms"] = benchmark::Counter(percentile(latencies, 0.50), benchmark::Counter::kAvgThreads);
  state.counters["failures"] = benchmark::Counter(static_cast<double>(failures));
}

void BM_AboutPageOverHttp(benchmark::State& state) { runClient(state, quillmark::service::kAboutPath); }
void BM_LogoOverHttp(benchmark::State& state) { runClient(state, quillmark::service::kLogoPath); }

void BM_LogoInProcess(benchmark::State& state) {
  const auto& names = templateNames();
  std::size_t i = 0;
  quillmark::service::LogoRequest request;
  request.titleGbk = quillmark::platform::utf8ToGbk("第三方影院");
  for (auto _ : state) {
    request.templateName = names[i++ % names.size()];
    benchmark::DoNotOptimize(quillmark::service::renderLogoPng(request));
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_AboutPageOverHttp)->Threads(4)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LogoOverHttp)->Threads(1)->Threads(4)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LogoInProcess)->Threads(1)->Threads(2)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication application(qtArgc, qtArgv);

  LogoServer server;
  const std::optional<int> port = server.start("127.0.0.1", 0);
  if (!port) return EXIT_FAILURE;
  gPort = *port;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return EXIT_FAILURE;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  server.stop();
  return EXIT_SUCCESS;
}
