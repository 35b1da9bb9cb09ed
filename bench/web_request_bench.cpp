// 200 sequential GETs of a 20 KB image from a loopback keep-alive server:
// webRequest (a new request object per call, as the batch job makes them)
// against a plain libcurl loop that reuses one easy handle, in interleaved
// rounds against the same server in the same process: the median ratio of
// the rounds, its spread, the processor time per call of each, and the TCP
// connections webRequest opened.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "ratio_reporter.h"
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

// Interleaved rounds of kRequests GETs each: a plain libcurl loop over one
// easy handle kept for the whole comparison, against webRequest.
void BM_WebRequestAgainstPlainCurl(benchmark::State& state) {
  LoopbackServer& server = imageServer();
  const std::string plainUrl = server.url("/logo.png");
  const quillmark::Text url(plainUrl);
  CURL* curl = curl_easy_init();
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, plainUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");

  int webRequestConnections = 0;
  quillmark::bench::compareInRounds(
      state, {.baselineName = "plain libcurl", .candidateName = "webRequest", .callsPerRound = kRequests},
      [&] {
        for (int i = 0; i < kRequests; ++i) {
          body.clear();
          curl_easy_perform(curl);
          benchmark::DoNotOptimize(body.data());
        }
      },
      [&] {
        const int before = server.connectionCount();
        for (int i = 0; i < kRequests; ++i) {
          const quillmark::ByteBuffer result = quillmark::webRequest(url);
          benchmark::DoNotOptimize(result.data());
        }
        webRequestConnections += server.connectionCount() - before;
      });
  curl_easy_cleanup(curl);
  // TCP connections webRequest opened over all its rounds: 1 when the
  // request objects keep reusing one connection.
  state.counters["webRequest_tcp_connections"] = webRequestConnections;
}
BENCHMARK(BM_WebRequestAgainstPlainCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
