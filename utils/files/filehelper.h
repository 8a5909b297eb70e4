// File and folder helpers: whole-file UTF-16LE texts (no byte-order mark,
// no terminator), file tests, deleting and copying, the user's folders and
// the program's file name.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "platform/window/window_types.h"

// Writes every character of `strText` as UTF-16LE (characters above U+FFFF
// as surrogate pairs), replacing the file. FALSE when it cannot be opened;
// a failed write throws CFileException.
BOOL SaveTextToFile(CString strPath, CString strText);
// The file's bytes as UTF-16LE up to the first NUL unit (an odd last byte is
// ignored); empty when it cannot be opened. A failed read throws
// CFileException.
CString LoadTextFromFile(CString strPath);

// TRUE for an existing file or folder; FALSE for a path of 260 characters
// or more.
BOOL IsFileExist(CString strPath);
BOOL IsDirectory(CString strPath);
// TRUE when the file cannot be opened exclusively for reading and writing:
// it is held open for reading or writing through the platform's file layer
// (by this program or another copy of it), or it is missing or not
// accessible. Files other programs hold open are not seen.
BOOL IsFileInUse(CString strPath);
// The type of the file system of the mount that holds the path ("ext4",
// "tmpfs", "proc", ...; a drive path "C:\..." names the root file system);
// empty when it cannot be told.
CString GetFileSystemName(CString strPath);

// Deletes a file (not a folder).
BOOL DeleteFileSafe(const CString &strPath);
// Copies `strSource` to `strTarget`, replacing an existing target; FALSE
// when the source does not exist.
BOOL CopyFileTo(CString strSource, CString strTarget);

// The user's desktop and application-data folders; empty when unknown.
CString GetDesktopPath();
CString GetAppDataPath();
// The file name of the running program.
CString GetAppFileName();

// Dialogs, UI thread only. ShowFileDialog shows an Open (`bOpen`) or Save As
// dialog in `strInitialDir` with the name `strFileName`, the "|"-separated
// `strFilter` and, when saving, an overwrite prompt and `lpszDefExt` added
// to a name without an extension; TRUE with the chosen path in `strPath`,
// FALSE with `strPath` unchanged when cancelled.
BOOL ShowFileDialog(CString &strPath, CString strInitialDir, HWND hOwner, CString strFilter, LPCTSTR lpszDefExt,
                    BOOL bOpen, CString strFileName);
// Lets the user pick a folder, starting in the folder of `strInitialPath`.
// TRUE with the choice in `strFolder`; FALSE with `strFolder` untouched when
// the dialog is cancelled.
BOOL BrowseFolder(const CString &strInitialPath, HWND hOwner, CString &strFolder);
