// Cost of small HTTPS fetches through the client session against a loopback
// TLS server whose authority is trusted beside the system's, next to the same
// fetch over plain HTTP. "NewSession" opens a session per fetch, as the quote
// worker does: every fetch makes a new connection and a full handshake with
// certificate verification. "KeptSession" keeps the handles open between
// fetches, so the connection is reused. "AfterTrustChange" is a plain http
// fetch that follows a change of the trusted authorities.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/inet/wininet.h"
#include "utils/http/httpclientsession.h"
// The loopback fixture of the tests: a certificate authority made with the
// openssl tool and tests/support/httpserver.py.
#include "tests/support/loopback_server.h"

namespace {

struct Fixture {
  testsupport::TempDir dir;
  std::unique_ptr<testsupport::TestPki> pki;
  std::unique_ptr<testsupport::LoopbackServer> https, http;

  Fixture() {
    pki = std::make_unique<testsupport::TestPki>(dir.path(), "benchca");
    testsupport::TestPki::Leaf leaf = pki->Issue("server", {"IP:127.0.0.1"});
    https = std::make_unique<testsupport::LoopbackServer>(
        testsupport::SupportScript("httpserver.py"), std::vector<std::string>{"--cert", leaf.cert, "--key", leaf.key});
    http = std::make_unique<testsupport::LoopbackServer>(testsupport::SupportScript("httpserver.py"),
                                                         std::vector<std::string>{});
    InternetSetExtraTrustedCaFile(pki->caFile());
  }
  bool ok() const { return pki->ok() && https->ok() && http->ok(); }
};

Fixture &Shared() {
  static Fixture f;
  return f;
}

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

// Fetches url `state` times; a new session each time unless keep is set.
void FetchRepeatedly(benchmark::State &state, const std::string &url, bool keep) {
  if (!Shared().ok()) {
    state.SkipWithError("loopback servers did not start");
    return;
  }
  std::wstring wurl = Wide(url);
  auto kept = std::make_unique<pcutil::CHttpClientSession>();
  for (auto _ : state) {
    std::unique_ptr<pcutil::CHttpClientSession> fresh;
    pcutil::CHttpClientSession *session = kept.get();
    if (!keep) {
      fresh = std::make_unique<pcutil::CHttpClientSession>();
      session = fresh.get();
    }
    if (!session->Request(wurl.c_str(), pcutil::HTTP_REQUEST_METHOD_GET, keep ? FALSE : TRUE) ||
        session->GetResponseBody() != "status 200") {
      state.SkipWithError("request failed");
      break;
    }
  }
}

void BM_HttpsGetNewSession(benchmark::State &state) {
  FetchRepeatedly(state, Shared().https->Url("/status/200", true), false);
}
BENCHMARK(BM_HttpsGetNewSession)->Unit(benchmark::kMillisecond);

void BM_HttpsGetKeptSession(benchmark::State &state) {
  FetchRepeatedly(state, Shared().https->Url("/status/200", true), true);
}
BENCHMARK(BM_HttpsGetKeptSession)->Unit(benchmark::kMillisecond);

void BM_HttpGetNewSession(benchmark::State &state) { FetchRepeatedly(state, Shared().http->Url("/status/200"), false); }
BENCHMARK(BM_HttpGetNewSession)->Unit(benchmark::kMillisecond);

// A plain http fetch right after the trusted authorities were set anew, as
// the first fetch of a process is: it must not pay for building the
// certificate store that only TLS connections use.
void BM_HttpGetAfterTrustChange(benchmark::State &state) {
  if (!Shared().ok()) {
    state.SkipWithError("loopback servers did not start");
    return;
  }
  std::wstring url = Wide(Shared().http->Url("/status/200"));
  for (auto _ : state) {
    InternetSetExtraTrustedCaFile(Shared().pki->caFile());
    pcutil::CHttpClientSession session;
    if (!session.Request(url.c_str()) || session.GetResponseBody() != "status 200") {
      state.SkipWithError("request failed");
      break;
    }
  }
}
BENCHMARK(BM_HttpGetAfterTrustChange)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
