// FileSysHelper: folder trees, the standard folders, shell copy/move/delete/
// rename, text files in four encodings, binary files and size texts. Paths
// are native paths with '/' between their parts. Failures are BOOL or
// HRESULT results, never exceptions.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

namespace FileSysHelper {

// Encodings of text files. Reading with FILE_ENCODING_UNKNOWN detects the
// encoding from the first byte: 0xEF is UTF-8, 0xFF or 0xFE UTF-16LE,
// anything else ANSI.
enum {
  FILE_ENCODING_UNKNOWN = 0,
  FILE_ENCODING_UNICODE = 1,  // UTF-16 little-endian, mark FF FE
  FILE_ENCODING_UTF8 = 2,     // UTF-8, mark EF BB BF
  FILE_ENCODING_ANSI = 3,     // the ANSI code page, no mark
};

// Creates the folder and every missing folder above it. TRUE when the path
// names a folder afterwards (at once when it already did); FALSE when a part
// cannot be created or the path names a file.
BOOL CreateDirectoryTree(const CString &path);

// The program file's folder with a trailing '/'.
CString GetExeDir();
CString GetAppDir();
// The user's application-data folder followed by "/Lumaro/DEBUG/".
CString GetAppDataDir();
CString GetUserDataDir();
// The temporary folder without a trailing '/'.
CString GetTempDir();
// Creates a new, empty, uniquely named file "imp<hex>.tmp" in the temporary
// folder and returns its path (empty when none could be created).
CString GetTempFilePath();
// The folder that stands for the system folder, without a trailing '/'.
CString GetWinDir();

// Shell operations: silent, no confirmation, no error dialog; TRUE exactly
// when the whole operation succeeded. A source's last part may hold the
// wildcards '*' and '?'. With `bCreateDest` the destination folder tree is
// created first and the source lands inside it. The Ex forms pair each
// source with its own destination (multiple destinations).
BOOL ShellCopy(const CString &strFrom, const CString &strTo, BOOL bCreateDest);
BOOL ShellCopyEx(const CString &strFrom, const CString &strTo, BOOL bCreateDest);
BOOL ShellDelete(const CString &strPath);
BOOL ShellDeleteEx(const CString &strPath);
BOOL ShellMove(const CString &strFrom, const CString &strTo, BOOL bCreateDest);
// Renames within one folder; FALSE without touching anything when the two
// paths have different folder parts (the text before the last '/').
BOOL ShellRename(const CString &strOld, const CString &strNew);

// TRUE for an existing file or folder.
BOOL FileExists(const CString &strPath);

// Reads the whole file as text of `encoding` (0 to 3) into `strText`, up to
// its first NUL character; the byte-order mark of UTF-8 and UTF-16 is
// dropped. S_OK (an empty file gives an empty text); S_FALSE with `strText`
// unchanged for an encoding outside 0 to 3; the failing HRESULT when the
// file cannot be opened or read (E_OUTOFMEMORY for a file too large to hold).
HRESULT ReadTextFile(const CString &strPath, CString &strText, int encoding);
// Detects the encoding from the first byte into *pEncoding and returns
// S_FALSE; S_OK with *pEncoding unchanged for an empty file; the failing
// HRESULT when the file cannot be read (E_POINTER without an output).
HRESULT DetectTextFileEncoding(const CString &strPath, int *pEncoding);
// Writes `strText` as the whole file in `encoding` (1 to 3). UTF-16LE gets
// the mark FF FE unless the text starts with U+FEFF. UTF-8 gets EF BB BF
// when the text is three bytes or more, or holds any non-ASCII character,
// so that reading it back detects UTF-8. FALSE for another encoding (the
// file is not touched) or when the file cannot be written.
BOOL WriteTextFile(const CString &strPath, const CString &strText, int encoding);
// Writes `nSize` bytes from `pData`: replacing the file, or at its end with
// `bAppend`. A replacement is written to a new file beside the target, which
// takes the target's place (and permissions) only once every byte is
// written; a failed append is cut back to the old length. So a failure
// leaves the old file whole. FALSE for a negative size, missing data, a
// target that is no plain file or is read-only (ERROR_ACCESS_DENIED), a
// folder that cannot take the new file, or a failed write.
BOOL WriteBinaryFile(const CString &strPath, const void *pData, int nSize, BOOL bAppend);
// The size of a file in bytes; FALSE when it cannot be opened.
BOOL GetFileLength(const CString &strPath, ULONGLONG &nLength);
// "%dB" up to 1023 (negative sizes included), "%dK" below 1 MiB, then "%dM"
// and "%dG"; with `bDecimals` megabytes as "%.1fM" and gigabytes as "%.2fG".
CString FormatFileSize(int nSize, BOOL bDecimals);

}  // namespace FileSysHelper
