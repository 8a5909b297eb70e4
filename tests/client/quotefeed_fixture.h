// Runs tools/quotefeed on free loopback ports, points the five quote sources
// at it and trusts its certificate authority. Control() changes the feed
// while it runs.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "client/quoteworker.h"
#include "platform/inet/wininet.h"
#include "tests/support/loopback_server.h"

class QuoteFeed {
 public:
  QuoteFeed()
      : server_(std::string(TICKORA_SOURCE_DIR) + "/tools/quotefeed/quotefeed.py",
                {"--dir", dir_.File("certs"), "--base-port", "0", "--seed", "7"}, 60000) {
    if (!server_.ok()) throw std::runtime_error("quote feed did not start: " + server_.error());
    std::string state = Control("");
    for (int n = 1; n <= kQuoteSourceCount; ++n) {
      std::string name = "\"" + std::to_string(n) + "\": ";
      size_t at = state.find(name);
      if (at == std::string::npos) throw std::runtime_error("no port of source in " + state);
      ports_[n] = std::atoi(state.c_str() + at + name.size());
      SetQuoteSourceHost(n, CString(("127.0.0.1:" + std::to_string(ports_[n])).c_str()));
    }
    InternetSetExtraTrustedCaFile(dir_.File("certs/ca.pem"));
  }

  // GET /_control?<query> on the site port: the feed's state as JSON.
  std::string Control(const std::string &query) const {
    std::string response = Get("/_control" + (query.empty() ? "" : "?" + query));
    if (response.compare(9, 3, "200") != 0) throw std::runtime_error("control request refused: " + response);
    return response.substr(response.find("\r\n\r\n") + 4);
  }

  // Requests source n has received so far.
  int Requests(int n) const {
    std::string state = Control("");
    std::string name = "\"" + std::to_string(n) + "\": ";
    return std::atoi(state.c_str() + state.find(name, state.find("\"counts\"")) + name.size());
  }

  int SitePort() const { return server_.port(); }
  int SourcePort(int n) const { return ports_[n]; }

 private:
  std::string Get(const std::string &path) const {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    // A feed that stops answering fails the request after 10 s.
    const timeval limit{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(server_.port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
      std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
      if (write(s, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
        char buf[4096];
        ssize_t got;
        while ((got = read(s, buf, sizeof buf)) > 0) response.append(buf, static_cast<size_t>(got));
      }
    }
    close(s);
    return response.size() > 12 ? response : "HTTP/1.0 000 no answer from the feed within 10 s";
  }

  testsupport::TempDir dir_;
  testsupport::LoopbackServer server_;
  int ports_[kQuoteSourceCount + 1] = {};
};
