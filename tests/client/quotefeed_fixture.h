// Runs tools/quotefeed on free loopback ports, points the five quote sources
// at it and trusts its certificate authority. Control() changes the feed
// while it runs.
#pragma once

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "client/quoteworker.h"
#include "platform/inet/wininet.h"
#include "tests/support/deadline.h"
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

  // How source n's last flood ended: its bytes sent and "whole" or "cut"
  // (the client left before the end). Waits up to `limit` for it to end;
  // state "running" when it did not.
  struct Flood {
    long long sent = 0;
    std::string state = "running";
  };
  Flood LastFlood(int n, std::chrono::milliseconds limit) const {
    Flood flood;
    testsupport::WaitUntil(
        [&] {
          std::string state = Control("");
          size_t at = state.find("\"" + std::to_string(n) + "\": {\"sent\": ", state.find("\"floods\""));
          if (at == std::string::npos) return false;
          at = state.find(": ", at) + 2;
          at = state.find(": ", at) + 2;
          flood.sent = std::atoll(state.c_str() + at);
          at = state.find("\"state\": \"", at) + 10;
          flood.state = state.substr(at, state.find('"', at) - at);
          return flood.state != "running";
        },
        limit, [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    return flood;
  }

  int SitePort() const { return server_.port(); }
  int SourcePort(int n) const { return ports_[n]; }

 private:
  std::string Get(const std::string &path) const {
    std::string response = testsupport::RawGet(server_.port(), path);
    return response.size() > 12 ? response : "HTTP/1.0 000 no answer from the feed within 10 s";
  }

  testsupport::TempDir dir_;
  testsupport::LoopbackServer server_;
  int ports_[kQuoteSourceCount + 1] = {};
};
