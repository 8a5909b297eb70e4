// The body path of the HTTP client: a 1 MB gzip body fetched from a loopback
// server and inflated, beside the curl command-line tool fetching the same
// URL in the same run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>

#include "utils/httpclientsession.h"
// The loopback fixture of the tests: starts tests/support/httpserver.py.
#include "tests/support/deadline.cpp"
#include "tests/support/loopback_server.cpp"

namespace {

struct Fixture {
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::LoopbackServer> server;
  std::string url;
  size_t decodedSize = 0;

  Fixture() {
    // Random bytes do not compress: the gzip body is about as large as the
    // decoded one, just under the 1,048,576-byte limit.
    std::mt19937 rng(42);
    std::string data(1040000, '\0');
    for (char &c : data) c = static_cast<char>(rng());
    decodedSize = data.size();
    std::string in = dir.Write("body", data);
    std::system(("gzip -c -n '" + in + "' > '" + dir.File("body.gz") + "'").c_str());
    server = std::make_unique<testsupport::LoopbackServer>(testsupport::SupportScript("httpserver.py"),
                                                           std::vector<std::string>{"--root", dir.path()});
    url = server->Url("/file/body.gz?h=Content-Encoding:gzip");
  }
};

Fixture &Shared() {
  static Fixture f;
  return f;
}

void BM_SessionGzipBody(benchmark::State &state) {
  Fixture &f = Shared();
  std::wstring url(f.url.begin(), f.url.end());
  for (auto _ : state) {
    pcutil::CHttpClientSession session;
    if (!session.Request(url.c_str()) || session.GetResponseBody().size() != f.decodedSize) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(session.GetResponseBody().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.decodedSize));
}
BENCHMARK(BM_SessionGzipBody)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurlToolSameUrl(benchmark::State &state) {
  Fixture &f = Shared();
  std::string cmd = "curl -s -f -o /dev/null '" + f.url + "'";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("curl failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.decodedSize));
}
BENCHMARK(BM_CurlToolSameUrl)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
