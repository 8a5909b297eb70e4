// File and folder functions with the original platform's signatures, over
// POSIX. Paths are native paths in wide text (UTF-8 on disk). A file HANDLE
// carries a file descriptor; every failure sets the thread's last error
// (Win32ErrorFromErrno). Attributes and security records are ignored.
// Share modes hold only among openers through CreateFileW (advisory locks):
// an exclusive opener for reading and writing (share mode 0) and openers for
// reading exclude each other with ERROR_SHARING_VIOLATION. POSIX has no
// mandatory sharing, so other programs are not kept out.
#pragma once

#include "platform/text/windef.h"

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif
#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 0x00000001u
#endif
#ifndef FILE_SHARE_WRITE
#define FILE_SHARE_WRITE 0x00000002u
#endif
#define CREATE_NEW 1u
#ifndef CREATE_ALWAYS
#define CREATE_ALWAYS 2u
#endif
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#endif
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

// Opens or creates a regular file. Read access needs FILE_READ_DATA or
// GENERIC_READ, write access FILE_WRITE_DATA or GENERIC_WRITE. Dispositions:
// CREATE_NEW, CREATE_ALWAYS (truncates), OPEN_EXISTING, OPEN_ALWAYS,
// TRUNCATE_EXISTING. A folder cannot be opened (ERROR_ACCESS_DENIED); a
// missing file gives ERROR_FILE_NOT_FOUND, a missing folder on the way of a
// file to create ERROR_PATH_NOT_FOUND. INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileW(LPCWSTR path, DWORD desiredAccess, DWORD shareMode, void *securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Reads up to `toRead` bytes (fewer only at the end of the file).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void *overlapped);
// Writes `toWrite` bytes; `written` tells how many went out before a failure.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void *overlapped);
// Moves the file position; returns its low 32 bits (the high ones in
// *distanceHigh when given) or INVALID_SET_FILE_POINTER with the last error.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG *distanceHigh, DWORD moveMethod);
// The size's low 32 bits (high ones in *sizeHigh), INVALID_FILE_SIZE with the
// last error on failure.
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER *size);
// Closes a file handle from CreateFileW.
BOOL CloseHandle(HANDLE handle);

// Creates one folder; its parent must exist (ERROR_PATH_NOT_FOUND) and it
// must not (ERROR_ALREADY_EXISTS).
BOOL CreateDirectoryW(LPCWSTR path, void *securityAttributes);
// TRUE when the path names an existing folder.
BOOL PathIsDirectoryW(LPCWSTR path);
// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL for a plain
// file, FILE_ATTRIBUTE_DEVICE for anything else (devices, pipes, sockets),
// plus FILE_ATTRIBUTE_READONLY when it cannot be written;
// INVALID_FILE_ATTRIBUTES when the path does not exist.
DWORD GetFileAttributesW(LPCWSTR path);

// The temporary folder ($TMPDIR, else /tmp) with a trailing '/'. Returns its
// length; when `size` is too small, the size needed (terminator included)
// and nothing written.
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// With `unique` 0 creates a new empty file "<prefix up to 3><hex>.tmp" in
// `folder` that did not exist before and writes its path into `buffer`
// (MAX_PATH characters); returns the number used, 0 on failure. A non-zero
// `unique` only forms the name.
UINT GetTempFileNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR buffer);
// The system folder that stands for the Windows folder ("/usr"); length
// written, or the size needed when `size` is too small.
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);

#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_APPDATA 0x001A
#define SHGFP_TYPE_CURRENT 0
// The user's folder for `csidl` into `buffer` (MAX_PATH characters):
// CSIDL_APPDATA is the XDG data folder ($XDG_DATA_HOME, else
// ~/.local/share), CSIDL_DESKTOPDIRECTORY the desktop folder. S_OK, or
// E_INVALIDARG for another folder id, E_FAIL when the path does not fit.
HRESULT SHGetFolderPathW(void *owner, int csidl, HANDLE token, DWORD flags, LPWSTR buffer);

// Deletes a file (not a folder: ERROR_ACCESS_DENIED).
BOOL DeleteFileW(LPCWSTR path);
// Copies a file's bytes and modification time; an existing target is
// replaced unless `failIfExists` (then ERROR_FILE_EXISTS). A folder as the
// source gives ERROR_ACCESS_DENIED.
BOOL CopyFileW(LPCWSTR source, LPCWSTR target, BOOL failIfExists);
// SHGetFolderPathW as a BOOL; the folder is never created.
BOOL SHGetSpecialFolderPathW(void *owner, LPWSTR buffer, int csidl, BOOL create);
// Paths have no drives here: a root "X:\" (any letter) or "/" stands for the
// root file system, whose type ("ext4", "overlay", ...) from the mount table
// goes into `fileSystemName`. The volume name is empty, the serial number 0,
// the component length 255 and the flags 0. FALSE with ERROR_PATH_NOT_FOUND
// for another root, ERROR_INSUFFICIENT_BUFFER when a name does not fit.
BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize);
