// 200 sequential GETs of a 20 KB image from a loopback keep-alive server:
// webRequest (a new request object per call, as the batch job makes them)
// against a plain libcurl loop that reuses one easy handle. Both run against
// the same server in the same process; compare their times as a ratio. The
// server-side count of TCP connections opened during the benchmark is
// reported as a counter.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "support/loopback_server.h"
#include "text/text.h"
#include "web/web_request.h"

namespace {

using quillmark::test_support::Answer;
using quillmark::test_support::LoopbackServer;
using quillmark::test_support::SeenRequest;

constexpr int kRequests = 200;

LoopbackServer& imageServer() {
  static LoopbackServer* server = [] {
    auto* s = new LoopbackServer();
    s->handle("/logo.png", [](const SeenRequest&) {
      Answer answer;
      answer.contentType = "image/png";
      answer.body = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(20 * 1024 - 8, 'p');
      return answer;
    });
    return s;
  }();
  return *server;
}

size_t collect(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

void BM_PlainCurlLoop(benchmark::State& state) {
  LoopbackServer& server = imageServer();
  const std::string url = server.url("/logo.png");
  const int connectionsBefore = server.connectionCount();
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    for (int i = 0; i < kRequests; ++i) {
      body.clear();
      curl_easy_perform(curl);
      benchmark::DoNotOptimize(body.data());
    }
    curl_easy_cleanup(curl);
  }
  state.counters["tcp_connections"] = server.connectionCount() - connectionsBefore;
}
BENCHMARK(BM_PlainCurlLoop)->Unit(benchmark::kMillisecond);

void BM_WebRequest(benchmark::State& state) {
  LoopbackServer& server = imageServer();
  const quillmark::Text url(server.url("/logo.png"));
  const int connectionsBefore = server.connectionCount();
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      const quillmark::ByteBuffer body = quillmark::webRequest(url);
      benchmark::DoNotOptimize(body.data());
    }
  }
  state.counters["tcp_connections"] = server.connectionCount() - connectionsBefore;
}
BENCHMARK(BM_WebRequest)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
