#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/deadline.h"

namespace testsupport {

std::string SupportScript(const std::string &name) {
  return std::string(TICKORA_SOURCE_DIR) + "/tests/support/" + name;
}

LoopbackServer::LoopbackServer(const std::string &script, const std::vector<std::string> &args, int startTimeoutMs) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  std::vector<std::string> argv = {"python3", "-u", script};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = fork();
  if (pid < 0) {
    error_ = "fork failed";
    close(out[0]);
    close(out[1]);
    return;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    std::vector<char *> cargv;
    for (std::string &a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execvp("python3", cargv.data());
    _exit(127);
  }
  pid_ = pid;
  close(out[1]);
  // Read until the ready line or the time-out.
  std::string seen;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs);
  while (port_ == 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error_ = "no ready line: " + seen;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) {
      error_ = "server ended: " + seen;
      break;
    }
    seen.append(buf, static_cast<size_t>(n));
    size_t at = seen.find("ready ");
    if (at != std::string::npos && seen.find('\n', at) != std::string::npos) port_ = std::atoi(seen.c_str() + at + 6);
  }
  close(out[0]);  // the server's later output goes nowhere (it writes none)
}

LoopbackServer::~LoopbackServer() { EndChild(pid_); }

std::string LoopbackServer::Url(const std::string &path, bool https) const {
  return std::string(https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::string RawGet(int port, const std::string &path) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return std::string();
  const timeval limit{10, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (write(s, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      char buf[4096];
      ssize_t got;
      while ((got = read(s, buf, sizeof buf)) > 0) response.append(buf, static_cast<size_t>(got));
    }
  }
  close(s);
  return response;
}

std::string FloodEnd(const LoopbackServer &server, const std::string &key, std::chrono::milliseconds limit) {
  std::string end = "running";
  WaitUntil(
      [&] {
        const std::string response = RawGet(server.port(), "/sent?key=" + key);
        const size_t body = response.find("\r\n\r\n");
        if (response.size() > 12 && response.compare(9, 3, "200") == 0 && body != std::string::npos)
          end = response.substr(body + 4);
        return end != "running";
      },
      limit, [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
  return end;
}

namespace {

bool Run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quote(const std::string &s) { return "'" + s + "'"; }

}  // namespace

TestPki::TestPki(const std::string &dir, const std::string &name) : dir_(dir + "/" + name) {
  std::error_code ec;
  std::filesystem::create_directories(dir_ + "/newcerts", ec);
  if (ec) return;
  std::ofstream(dir_ + "/index.txt").flush();
  std::ofstream(dir_ + "/serial") << "1000\n";
  config_ = dir_ + "/ca.cnf";
  std::ofstream cfg(config_);
  cfg << "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = unused\n"
         "[v3_ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
         "subjectKeyIdentifier = hash\n"
         "[ca]\ndefault_ca = CA_default\n"
         "[CA_default]\ndir = "
      << dir_
      << "\ndatabase = $dir/index.txt\nnew_certs_dir = $dir/newcerts\nserial = $dir/serial\n"
         "default_md = sha256\npolicy = policy_any\nunique_subject = no\nemail_in_dn = no\ncopy_extensions = none\n"
         "[policy_any]\ncommonName = supplied\n";
  cfg.close();
  caFile_ = dir_ + "/ca.pem";
  caKey_ = dir_ + "/ca.key";
  ok_ = Run("openssl req -x509 -config " + Quote(config_) +
            " -extensions v3_ca -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + Quote(caKey_) +
            " -out " + Quote(caFile_) + " -days 3650 -subj " + Quote("/CN=Tickora Test " + name));
}

TestPki::Leaf TestPki::Issue(const std::string &leafName, const std::vector<std::string> &altNames, bool expired) {
  Leaf leaf{dir_ + "/" + leafName + ".pem", dir_ + "/" + leafName + ".key"};
  std::string csr = dir_ + "/" + leafName + ".csr";
  std::string ext = dir_ + "/" + leafName + ".ext";
  std::string sans;
  for (const std::string &n : altNames) sans += (sans.empty() ? "" : ",") + n;
  std::ofstream(ext) << "basicConstraints=CA:FALSE\nsubjectAltName=" << sans
                     << "\nextendedKeyUsage=serverAuth\nkeyUsage=digitalSignature\n";
  std::string dates = expired ? " -startdate 20200101000000Z -enddate 20210101000000Z" : " -days 365";
  bool made =
      ok_ &&
      Run("openssl req -new -config " + Quote(config_) +
          " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + Quote(leaf.key) + " -out " +
          Quote(csr) + " -subj " + Quote("/CN=" + leafName)) &&
      Run("openssl ca -batch -notext -config " + Quote(config_) + " -cert " + Quote(caFile_) + " -keyfile " +
          Quote(caKey_) + " -in " + Quote(csr) + " -out " + Quote(leaf.cert) + " -extfile " + Quote(ext) + dates);
  if (!made) return Leaf{};
  return leaf;
}

HttpsTestServers::HttpsTestServers(const std::string &dir, const std::vector<std::string> &extraArgs) {
  trusted = std::make_unique<TestPki>(dir, "trusted");
  stranger = std::make_unique<TestPki>(dir, "stranger");
  auto start = [&](const TestPki::Leaf &leaf) {
    std::vector<std::string> args = {"--cert", leaf.cert, "--key", leaf.key};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return std::make_unique<LoopbackServer>(SupportScript("httpserver.py"), args);
  };
  good = start(trusted->Issue("good", {"IP:127.0.0.1", "DNS:localhost"}));
  wrongName = start(trusted->Issue("wrongname", {"DNS:wrong.example"}));
  expired = start(trusted->Issue("expired", {"IP:127.0.0.1"}, true));
  unknownCa = start(stranger->Issue("unknown", {"IP:127.0.0.1"}));
}

SilentListener::SilentListener() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd_, 16) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(a.sin_port);
}

SilentListener::~SilentListener() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace testsupport
