// The scripted FTP server (ftpserver.py) for tests: serves a folder as "/" to
// the user "test" with the password "secret".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/cstring.h"
#include "tests/support/loopback_server.h"

namespace testsupport {

// Starts the server on `root` with further options ("--active-only").
inline std::unique_ptr<LoopbackServer> StartFtpServer(const std::string &root, std::vector<std::string> args = {}) {
  args.insert(args.begin(), {"--root", root});
  return std::make_unique<LoopbackServer>(SupportScript("ftpserver.py"), args);
}

// The server name to connect to: "127.0.0.1:<port>".
inline CString FtpHost(const LoopbackServer &server) {
  return CString(MultiByteToWide(CP_UTF8, "127.0.0.1:" + std::to_string(server.port())).c_str());
}

// A UTF-8 text (a local path) as wide text.
inline CString WideText(const std::string &utf8) { return CString(MultiByteToWide(CP_UTF8, utf8).c_str()); }

}  // namespace testsupport
