// FTP session and connection classes: log in to a server, move between its
// folders, create folders and transfer files. Each connection keeps one
// control connection to the server open until it is closed.
//
//   CInternetSession session;
//   CFtpConnection *ftp = session.GetFtpConnection(L"ftp.example", L"user", L"pw");
//   ftp->SetCurrentDirectory(L"/pub");
//   ftp->GetFile(L"data.bin", L"/tmp/data.bin");
//   ftp->Close();
//   delete ftp;
//
// A session owns the connections it made: ending the session closes and
// deletes those still alive; deleting a connection earlier is allowed and
// removes it from its session. Neither class may be used by two threads at once.
//
// Remote names travel in the ANSI code page; a name with a line break fails
// with ERROR_INVALID_NAME, as it would split the command sent for it. The
// server name may carry a port as "host:port"; otherwise the port argument
// applies (0: port 21). Missing credentials log in as "anonymous".
#pragma once

#include <memory>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/system/fileapi.h"
#include "platform/text/cstring.h"
#include "platform/text/windef.h"

#define PRE_CONFIG_INTERNET_ACCESS 0u
#define INTERNET_DEFAULT_FTP_PORT 21
#define FTP_TRANSFER_TYPE_ASCII 0x00000001u
#define FTP_TRANSFER_TYPE_BINARY 0x00000002u

// Thrown by GetFtpConnection when no connection can be made; m_dwError is the
// error code (also the thread's last error).
class CInternetException {
 public:
  explicit CInternetException(DWORD error, DWORD_PTR context = 1) : m_dwError(error), m_dwContext(context) {}
  DWORD m_dwError;
  DWORD_PTR m_dwContext;
};

class CInternetSession;

class CFtpConnection {
 public:
  // Closes the connection and leaves its session.
  ~CFtpConnection();
  CFtpConnection(const CFtpConnection &) = delete;  // owns the control connection
  CFtpConnection &operator=(const CFtpConnection &) = delete;

  // Moves to `dir` (relative to the current folder or from the root); the
  // server checks that it exists. The current folder is then the server's own
  // name for it.
  BOOL SetCurrentDirectory(LPCWSTR dir);
  // The current remote folder, from the root ("/a/b").
  BOOL GetCurrentDirectory(CString &dir) const;
  // Creates the folder `name`, relative to the current folder or from the root.
  BOOL CreateDirectory(LPCWSTR name);
  // Copies the remote file into `localFile`, created with `attributes`; with
  // failIfExists an existing local file fails with ERROR_FILE_EXISTS. A failed
  // transfer leaves no local file behind.
  BOOL GetFile(LPCWSTR remoteFile, LPCWSTR localFile, BOOL failIfExists = TRUE,
               DWORD attributes = FILE_ATTRIBUTE_NORMAL, DWORD flags = FTP_TRANSFER_TYPE_BINARY, DWORD_PTR context = 1);
  // Copies `localFile` to the remote file, replacing it.
  BOOL PutFile(LPCWSTR localFile, LPCWSTR remoteFile, DWORD flags = FTP_TRANSFER_TYPE_BINARY, DWORD_PTR context = 1);
  // Ends the control connection; later calls fail with ERROR_INVALID_HANDLE.
  void Close();

 private:
  friend class CInternetSession;
  struct State;
  CFtpConnection(CInternetSession *session, std::unique_ptr<State> state);
  CInternetSession *session_;
  std::unique_ptr<State> state_;
};

class CInternetSession {
 public:
  // Direct connections (no proxy); agent, context, access type and flags are
  // kept for the interface's sake.
  explicit CInternetSession(LPCWSTR agent = nullptr, DWORD_PTR context = 1,
                            DWORD accessType = PRE_CONFIG_INTERNET_ACCESS, LPCWSTR proxyName = nullptr,
                            LPCWSTR proxyBypass = nullptr, DWORD flags = 0);
  ~CInternetSession();
  CInternetSession(const CInternetSession &) = delete;  // owns its connections
  CInternetSession &operator=(const CInternetSession &) = delete;

  // Connects and logs in (active data connections unless `passive`); the
  // current folder is the one the server starts in. Throws CInternetException
  // on failure (ERROR_INVALID_PARAMETER for credentials with a line break).
  // The result belongs to the session until deleted.
  CFtpConnection *GetFtpConnection(LPCWSTR server, LPCWSTR userName = nullptr, LPCWSTR password = nullptr,
                                   INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER, BOOL passive = FALSE);
  // Closes and deletes every connection still alive.
  void Close();

 private:
  friend class CFtpConnection;
  DWORD_PTR context_;
  std::vector<CFtpConnection *> connections_;
};
