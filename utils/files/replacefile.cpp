#include "utils/files/replacefile.h"

#include "platform/system/fileapi.h"
#include "platform/system/osrandom.h"
#include "platform/text/winerror.h"
#include "utils/files/detail/writeall.h"
#include "utils/files/pathhelper.h"

namespace pcutil {

CReplacementFile::CReplacementFile(const CString &target) : target_(target), file_(INVALID_HANDLE_VALUE) {}

CReplacementFile::~CReplacementFile() { Discard(); }

BOOL CReplacementFile::Create() {
  Discard();
  // The same folder, so that a rename can put the file in the target's place.
  // At most 48 characters of the name: with four bytes each and the marks
  // around them the name stays below the 255 bytes a folder takes.
  const CString name = GetFileName(target_);
  const CString folder = target_.Left(target_.GetLength() - name.GetLength());
  CString sibling;
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned int number = 0;
    if (!platform::FillRandomBytes(&number, sizeof number)) break;
    sibling.Format(L"%s.%s.%08X.tmp", folder.GetString(), name.Left(48).GetString(), number);
    file_ = CreateFileW(sibling, FILE_WRITE_DATA, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ != INVALID_HANDLE_VALUE) {
      sibling_ = sibling;
      return TRUE;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return FALSE;
  }
  return FALSE;
}

BOOL CReplacementFile::Write(const void *data, size_t size) { return WriteAll(file_, data, size); }

BOOL CReplacementFile::Commit() {
  BOOL done = FlushFileBuffers(file_);
  DWORD error = done ? ERROR_SUCCESS : GetLastError();
  if (!CloseHandle(file_) && done) done = FALSE, error = GetLastError();
  file_ = INVALID_HANDLE_VALUE;
  if (done && !(GetFileAttributesW(target_) != INVALID_FILE_ATTRIBUTES
                    ? ReplaceFileW(target_, sibling_, nullptr, 0, nullptr, nullptr)
                    : MoveFileExW(sibling_, target_, MOVEFILE_REPLACE_EXISTING))) {
    done = FALSE;
    error = GetLastError();
  }
  if (!done) {
    SetLastError(error);
    Discard();
    return FALSE;
  }
  sibling_.Empty();
  return TRUE;
}

void CReplacementFile::Discard() {
  const DWORD error = GetLastError();
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (!sibling_.IsEmpty()) DeleteFileW(sibling_);
  sibling_.Empty();
  SetLastError(error);
}

}  // namespace pcutil
