// CFile: the framework's file class over the platform's file handles, and
// CFileException, which Read and Write throw when the system call fails.
// Opening reports failure by its result only. The destructor closes the file.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

class CFileException {
 public:
  enum {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    accessDenied = 5,
    invalidFile = 6,
    diskFull = 14,
    endOfFile = 15
  };
  CFileException(int cause, LONG osError, CString fileName = CString())
      : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}
  int m_cause;
  LONG m_lOsError;  // the system error code
  CString m_strFileName;
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,      // create, truncating an existing file
    modeNoTruncate = 0x2000,  // with modeCreate: keep an existing file's bytes
    typeBinary = 0x8000,
  };

  CFile() = default;
  CFile(const CFile &) = delete;  // one owner per handle
  CFile &operator=(const CFile &) = delete;
  virtual ~CFile() { Close(); }

  // Opens `fileName`; FALSE (with *error filled when given) on failure.
  BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException *error = nullptr);
  // Reads up to `count` bytes and returns how many were read (0 at the end).
  UINT Read(void *buffer, UINT count);
  // Writes all `count` bytes.
  void Write(const void *buffer, UINT count);
  ULONGLONG GetLength() const;
  void Close();

 private:
  [[noreturn]] void ThrowLastError() const;
  HANDLE h_ = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
  CString name_;
};
