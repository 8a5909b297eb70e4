// File and folder functions with the original platform's signatures, over
// POSIX. Paths are native paths in wide text (UTF-8 on disk). A file HANDLE
// carries a file descriptor; every failure sets the thread's last error
// (Win32ErrorFromErrno). Attributes and security records are ignored.
// Share modes hold only among openers through CreateFileW (advisory locks,
// seen by every process that opens through this layer): an exclusive opener
// for reading and writing (share mode 0) and any other opener, for reading
// or for writing, exclude each other with ERROR_SHARING_VIOLATION. Other
// share modes are not told apart. POSIX has no mandatory sharing, so other
// programs are neither kept out nor seen.
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
// Writes the file's data through to the disk (fsync).
BOOL FlushFileBuffers(HANDLE file);
// Cuts or extends the file to the current file position.
BOOL SetEndOfFile(HANDLE file);

// Creates one folder; its parent must exist (ERROR_PATH_NOT_FOUND) and it
// must not (ERROR_ALREADY_EXISTS).
BOOL CreateDirectoryW(LPCWSTR path, void *securityAttributes);
// TRUE when the path names an existing folder.
BOOL PathIsDirectoryW(LPCWSTR path);
// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL for a plain
// file, FILE_ATTRIBUTE_DEVICE for anything else (devices, pipes, sockets),
// plus FILE_ATTRIBUTE_READONLY when this process cannot write it or its
// permissions let nobody write it (the marked read-only file, which an
// administrator sees as such too); INVALID_FILE_ATTRIBUTES when the path
// does not exist.
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
#define MOVEFILE_REPLACE_EXISTING 0x00000001u
// Renames a file or folder within its file system (ERROR_NOT_SAME_DEVICE
// across file systems); an existing file `newName` is replaced only with
// MOVEFILE_REPLACE_EXISTING (else ERROR_ALREADY_EXISTS). Other flags:
// ERROR_INVALID_PARAMETER.
BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags);
// Puts the file `replacement` in the place of the existing file `replaced`
// in one step (a rename: both must be on one file system). It takes the
// replaced file's permission bits and, where this process may set them, its
// owner and group. A symbolic link `replaced` is followed: the file it names
// is replaced. No backup name (ERROR_NOT_SUPPORTED); flags are ignored.
// ERROR_FILE_NOT_FOUND when either file does not exist, ERROR_ACCESS_DENIED
// when `replaced` is no plain file, ERROR_UNABLE_TO_MOVE_REPLACEMENT when the
// rename fails (both files keep their contents).
BOOL ReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, void *exclude, void *reserved);
// Copies a file's bytes and modification time; an existing target is
// replaced unless `failIfExists` (then ERROR_FILE_EXISTS). A folder as the
// source gives ERROR_ACCESS_DENIED.
BOOL CopyFileW(LPCWSTR source, LPCWSTR target, BOOL failIfExists);
// SHGetFolderPathW as a BOOL; the folder is never created.
BOOL SHGetSpecialFolderPathW(void *owner, LPWSTR buffer, int csidl, BOOL create);
// Volumes are the mounts of this process's mount table
// (/proc/self/mountinfo): a path belongs to the mount with the longest mount
// point that is the path or a folder above it (links in the existing part of
// the path resolved first; of several mounts on one point the last). Paths
// have no drives here: a drive path "X:\..." (any letter) stands for the
// root file system.
//
// The mount point of the path's volume, with a trailing '/' ("/", "/proc/");
// FALSE with ERROR_FILENAME_EXCED_RANGE when it does not fit in
// `bufferLength` characters.
BOOL GetVolumePathNameW(LPCWSTR fileName, LPWSTR volumePathName, DWORD bufferLength);
// `root` ends in a separator ("/", "/dev/shm/", "C:\"; else
// ERROR_INVALID_NAME); the type of the file system of its volume ("ext4",
// "tmpfs", "proc", ...) goes into `fileSystemName`. The volume name is
// empty, the serial number 0, the component length 255 and the flags 0.
// ERROR_INSUFFICIENT_BUFFER when a name does not fit.
BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize);
