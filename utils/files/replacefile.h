// CReplacementFile: new content for a file, written beside it and put in its
// place only once whole.
//
// Create makes a new, empty file in the target's folder (".<name>.<hex>.tmp",
// created exclusively, so it is never a file that was there before; no limit
// on the length of the path). Write appends to it. Commit flushes it to the
// disk, closes it and renames it to the target: an existing target (a
// symbolic link is followed) is replaced keeping its permissions (and, where
// it may, its owner), a missing one is created. So the target holds either
// its old bytes or every new byte, never a part. A failed step, Discard and
// the destructor of a file not committed remove the new file and leave the
// target as it was. Failures are FALSE with the error code of the failed call
// in GetLastError, which removing the new file keeps.
#pragma once

#include <cstddef>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

namespace pcutil {

class CReplacementFile {
 public:
  explicit CReplacementFile(const CString &target);
  CReplacementFile(const CReplacementFile &) = delete;
  CReplacementFile &operator=(const CReplacementFile &) = delete;
  ~CReplacementFile();

  // Creates the new file beside the target (dropping one created before).
  // FALSE when the folder cannot take it.
  BOOL Create();
  // Appends all `size` bytes to the new file; FALSE when a write fails.
  BOOL Write(const void *data, size_t size);
  // Flushes and closes the new file and puts it in the target's place. On
  // FALSE the new file is removed.
  BOOL Commit();
  // Removes the new file, if any; the error code in GetLastError stays.
  void Discard();

 private:
  CString target_;
  CString sibling_;  // empty when there is no new file
  HANDLE file_;
};

}  // namespace pcutil
