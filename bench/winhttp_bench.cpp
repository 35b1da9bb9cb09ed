// 200 sequential GETs of a 20 KB PNG-like body from a loopback keep-alive
// server: through the request object (a new object per GET, driven by
// member name, as the web layer does) against a plain libcurl loop over one
// reused easy handle. Prints the time ratio of the two and the TCP
// connections the server accepted for each over all its runs (the plain loop
// opens one per run, since each run makes a new easy handle; the request
// objects share one pool and keep using one connection).
#include <benchmark/benchmark.h>

#include "ratio_reporter.h"
#include <curl/curl.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/winhttp/request_object.h"
#include "support/loopback_server.h"

namespace {

namespace com = quillmark::platform::com;
namespace winhttp = quillmark::platform::winhttp;
using quillmark::test_support::Answer;
using quillmark::test_support::LoopbackServer;
using quillmark::test_support::SeenRequest;

constexpr int kRequests = 200;

std::string pngLikeBody() {
  std::string body("\x89PNG\r\n\x1a\n", 8);
  std::mt19937 random(936);
  while (body.size() < 20 * 1024) body.push_back(static_cast<char>(random() & 0xFF));
  return body;
}

LoopbackServer& server() {
  static LoopbackServer* instance = [] {
    auto* created = new LoopbackServer();
    created->handle("/logo.png", [body = pngLikeBody()](const SeenRequest&) {
      Answer answer;
      answer.body = body;
      answer.contentType = "image/png";
      return answer;
    });
    return created;
  }();
  return *instance;
}

void BM_RequestObject(benchmark::State& state) {
  const std::u16string url = [] {
    const std::string u = server().url("/logo.png");
    return std::u16string(u.begin(), u.end());
  }();
  com::CoInitialize(nullptr);
  winhttp::registerRequestClass();
  // Counted from the first run, warm-up runs included.
  static const int before = server().connectionCount();
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      const com::ObjectHandle request = com::createObject(winhttp::kRequestProgId);
      const com::Variant open[] = {com::Variant::fromString(u"GET"), com::Variant::fromString(url),
                                   com::Variant::fromBool(false)};
      com::invoke(request, u"Open", com::InvokeKind::Method, open);
      const com::Variant body[] = {com::Variant::fromString(u"")};
      com::invoke(request, u"Send", com::InvokeKind::Method, body);
      com::Variant received;
      com::invoke(request, u"ResponseBody", com::InvokeKind::PropertyGet, {}, &received);
      bytes += received.asBytes().size();
      benchmark::DoNotOptimize(received);
    }
  }
  com::CoUninitialize();
  state.counters["tcp_connections_all_runs"] = server().connectionCount() - before;
  state.counters["bytes_per_get"] = static_cast<double>(bytes) / (static_cast<double>(state.iterations()) * kRequests);
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::vector<char>*>(user)->insert(static_cast<std::vector<char>*>(user)->end(), data,
                                                data + size * count);
  return size * count;
}

void BM_PlainCurl(benchmark::State& state) {
  const std::string url = server().url("/logo.png");
  CURL* easy = curl_easy_init();
  std::vector<char> received;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
  // Counted from the first run, warm-up runs included.
  static const int before = server().connectionCount();
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      received.clear();
      curl_easy_perform(easy);
      bytes += received.size();
    }
  }
  curl_easy_cleanup(easy);
  state.counters["tcp_connections_all_runs"] = server().connectionCount() - before;
  state.counters["bytes_per_get"] = static_cast<double>(bytes) / (static_cast<double>(state.iterations()) * kRequests);
}

BENCHMARK(BM_PlainCurl)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RequestObject)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  quillmark::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto object = reporter.times.find("BM_RequestObject/real_time");
  const auto plain = reporter.times.find("BM_PlainCurl/real_time");
  if (object != reporter.times.end() && plain != reporter.times.end() && plain->second > 0)
    std::printf("request object / plain libcurl time ratio: %.2f (200 GETs each)\n", object->second / plain->second);
  benchmark::Shutdown();
  return 0;
}
