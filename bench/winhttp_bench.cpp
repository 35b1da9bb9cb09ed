// 200 sequential GETs of a 20 KB PNG-like body from a loopback keep-alive
// server: through the request object (a new object per GET, driven by
// member name, as the web layer does) against a plain libcurl loop over one
// reused easy handle, in interleaved rounds: the median ratio of the rounds,
// its spread, the processor time per GET of each, and the TCP connections the
// request objects opened (they share one pool and keep using one connection).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <random>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/winhttp/request_object.h"
#include "ratio_reporter.h"
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

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::vector<char>*>(user)->insert(static_cast<std::vector<char>*>(user)->end(), data,
                                                data + size * count);
  return size * count;
}

// Interleaved rounds of kRequests GETs: a plain libcurl loop over one easy
// handle kept for the whole comparison, against request objects.
void BM_RequestObjectAgainstPlainCurl(benchmark::State& state) {
  const std::string plainUrl = server().url("/logo.png");
  const std::u16string url(plainUrl.begin(), plainUrl.end());
  CURL* easy = curl_easy_init();
  std::vector<char> received;
  curl_easy_setopt(easy, CURLOPT_URL, plainUrl.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
  com::CoInitialize(nullptr);
  winhttp::registerRequestClass();

  int objectConnections = 0;
  std::size_t objectBytes = 0;
  int objectGets = 0;
  quillmark::bench::compareInRounds(
      state, {.baselineName = "plain libcurl", .candidateName = "request object", .callsPerRound = kRequests},
      [&] {
        for (int i = 0; i < kRequests; ++i) {
          received.clear();
          curl_easy_perform(easy);
          benchmark::DoNotOptimize(received.data());
        }
      },
      [&] {
        const int before = server().connectionCount();
        for (int i = 0; i < kRequests; ++i) {
          const com::ObjectHandle request = com::createObject(winhttp::kRequestProgId);
          const com::Variant open[] = {com::Variant::fromString(u"GET"), com::Variant::fromString(url),
                                       com::Variant::fromBool(false)};
          com::invoke(request, u"Open", com::InvokeKind::Method, open);
          const com::Variant body[] = {com::Variant::fromString(u"")};
          com::invoke(request, u"Send", com::InvokeKind::Method, body);
          com::Variant result;
          com::invoke(request, u"ResponseBody", com::InvokeKind::PropertyGet, {}, &result);
          objectBytes += result.asBytes().size();
          ++objectGets;
          benchmark::DoNotOptimize(result);
        }
        objectConnections += server().connectionCount() - before;
      });
  com::CoUninitialize();
  curl_easy_cleanup(easy);
  state.counters["object_tcp_connections"] = objectConnections;
  state.counters["object_bytes_per_get"] = objectGets ? static_cast<double>(objectBytes) / objectGets : 0;
}
BENCHMARK(BM_RequestObjectAgainstPlainCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
