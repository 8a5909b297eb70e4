// Test fixtures for network tests on loopback: a helper process that serves on a free port (started with python3, it
// prints "ready <port>" once it listens), a certificate authority with server certificates made by the openssl tool,
// and a listener that accepts connections but never answers.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testsupport {

// Path of a script in tests/support of the source tree.
std::string SupportScript(const std::string &name);

// Runs `python3 script args...` and waits for its "ready <port>" line.
// The destructor ends the process (SIGTERM, then SIGKILL after 5 s).
class LoopbackServer {
 public:
  LoopbackServer(const std::string &script, const std::vector<std::string> &args, int startTimeoutMs = 20000);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer &) = delete;
  LoopbackServer &operator=(const LoopbackServer &) = delete;

  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:<port><path>" or the https form.
  std::string Url(const std::string &path, bool https = false) const;
  // What the process wrote before its ready line, or why it failed to start.
  const std::string &error() const { return error_; }

 private:
  int pid_ = -1;
  int port_ = 0;
  std::string error_;
};

// A plain HTTP/1.0 GET of path on 127.0.0.1:port over a socket of its own
// (not through the code under test): the whole response, status line and
// headers included, read until the server closes; empty when no answer came
// within 10 s.
std::string RawGet(int port, const std::string &path);

// How httpserver.py's last /flood for `key` ended: "<bytes sent> whole" or
// "<bytes sent> cut" (the client left before the end). Waits up to `limit`
// for it to end; "running" when it did not.
std::string FloodEnd(const LoopbackServer &server, const std::string &key,
                     std::chrono::milliseconds limit = std::chrono::seconds(20));

// A certificate authority and certificates it issues, all in `dir`.
class TestPki {
 public:
  struct Leaf {
    std::string cert;
    std::string key;
  };
  // Creates the authority "<name>" with its own key in dir/<name>/.
  TestPki(const std::string &dir, const std::string &name = "ca");
  bool ok() const { return ok_; }
  const std::string &caFile() const { return caFile_; }
  // A server certificate for the given subject alternative names
  // ("IP:127.0.0.1", "DNS:localhost"). expired: valid only in 2020.
  // Empty paths when openssl fails.
  Leaf Issue(const std::string &leafName, const std::vector<std::string> &altNames, bool expired = false);

 private:
  std::string dir_;
  std::string caFile_;
  std::string caKey_;
  std::string config_;
  bool ok_ = false;
};

// HTTPS servers (httpserver.py plus `extraArgs`) on 127.0.0.1 with
// certificates made in `dir`: `good` from the authority `trusted` for
// 127.0.0.1 and localhost, `wrongName` from it for another host name,
// `expired` from it but valid only in 2020, `unknownCa` from an authority
// nobody trusts. Callers trust trusted->caFile() themselves.
struct HttpsTestServers {
  explicit HttpsTestServers(const std::string &dir, const std::vector<std::string> &extraArgs = {});
  std::unique_ptr<TestPki> trusted, stranger;
  std::unique_ptr<LoopbackServer> good, wrongName, expired, unknownCa;
};

// Listens on 127.0.0.1 at a free port and never accepts: connections complete
// in the kernel's backlog and then see no byte.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener &) = delete;
  SilentListener &operator=(const SilentListener &) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace testsupport
