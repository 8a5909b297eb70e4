// The body path of the HTTP client: a 1 MB gzip body fetched from a loopback
// server and inflated, by the session and, in the same run and against the
// same URL, by libcurl in this process (an easy handle with automatic
// decoding) and by the curl tool, whose own reported transfer time
// (-w %{time_total}) is what counts, not its start-up. Every contender opens
// a new connection per fetch, as the quote worker's sessions do.
//
// The header path: a response with 20,000 Set-Cookie lines (just under the
// 300 KiB a response header may hold), fetched by the session, which reads
// and keeps every cookie, and by libcurl in this process, which only
// receives the lines; the same number of lines that are no cookies shows
// the session's share without the cookies.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "utils/http/httpclientsession.h"
// The loopback fixture of the tests: starts tests/support/httpserver.py.
#include "tests/support/loopback_server.h"

namespace {

struct Fixture {
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::LoopbackServer> server;
  std::string url;
  std::string cookiesUrl, linesUrl;
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
    cookiesUrl = server->Url("/many?n=20000&short=1");
    linesUrl = server->Url("/many?n=20000&short=1&name=X-Line");
    curl_global_init(CURL_GLOBAL_DEFAULT);
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

size_t AppendBody(char *data, size_t size, size_t count, void *user) {
  static_cast<std::string *>(user)->append(data, size * count);
  return size * count;
}

void BM_LibcurlGzipBody(benchmark::State &state) {
  Fixture &f = Shared();
  for (auto _ : state) {
    std::string body;
    body.reserve(0x100000);  // as the session's gzip output buffer
    CURL *easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, f.url.c_str());
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // decodes the gzip body
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    CURLcode rc = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    if (rc != CURLE_OK || body.size() != f.decodedSize) {
      state.SkipWithError("libcurl fetch failed");
      break;
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.decodedSize));
}
BENCHMARK(BM_LibcurlGzipBody)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tool decodes too (--compressed); each iteration's time is the transfer
// time the tool reports itself.
void BM_CurlToolTransferTime(benchmark::State &state) {
  Fixture &f = Shared();
  std::string cmd = "curl -s -f --compressed -o /dev/null -w '%{time_total}' '" + f.url + "'";
  for (auto _ : state) {
    FILE *p = popen(cmd.c_str(), "r");
    double seconds = -1;
    if (p && std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    if (!p || pclose(p) != 0 || seconds < 0) {
      state.SkipWithError("curl failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.decodedSize));
}
BENCHMARK(BM_CurlToolTransferTime)->Unit(benchmark::kMillisecond)->UseManualTime();

void SessionManyLines(benchmark::State &state, const std::string &u, int cookieChars) {
  std::wstring url(u.begin(), u.end());
  for (auto _ : state) {
    pcutil::CHttpClientSession session;
    if (!session.Request(url.c_str()) || session.GetCookie().GetLength() != cookieChars) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(session.GetResponseHeaders()->GetCookie(L"").m_bHasValue);
  }
}

void BM_SessionManyCookies(benchmark::State &state) { SessionManyLines(state, Shared().cookiesUrl, 40000); }
BENCHMARK(BM_SessionManyCookies)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SessionManyOtherLines(benchmark::State &state) { SessionManyLines(state, Shared().linesUrl, 0); }
BENCHMARK(BM_SessionManyOtherLines)->Unit(benchmark::kMillisecond)->UseRealTime();

size_t CountLine(char *, size_t size, size_t count, void *user) {
  ++*static_cast<int *>(user);
  return size * count;
}

void BM_LibcurlManyCookies(benchmark::State &state) {
  Fixture &f = Shared();
  for (auto _ : state) {
    std::string body;
    int lines = 0;
    CURL *easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, f.cookiesUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CountLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &lines);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    CURLcode rc = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    if (rc != CURLE_OK || lines < 20000) {
      state.SkipWithError("libcurl fetch failed");
      break;
    }
  }
}
BENCHMARK(BM_LibcurlManyCookies)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
