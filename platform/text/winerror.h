// The thread's last-error value and the Win32 error codes the system names.
// Every platform function that fails sets the last error of the calling
// thread; a success leaves it alone unless the function says otherwise.
#pragma once

#include "platform/text/windef.h"

#define ERROR_SUCCESS 0u
#define NO_ERROR 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_INVALID_DATA 13u
#define ERROR_NOT_READY 21u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_HANDLE_EOF 38u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_DISK_FULL 112u
#define ERROR_CALL_NOT_IMPLEMENTED 120u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_BUSY 170u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_MORE_DATA 234u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_PENDING 997u
#define ERROR_NOACCESS 998u
#define ERROR_NOT_ALL_ASSIGNED 1300u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176u
#define ERROR_INVALID_FLAGS 1004u
#define ERROR_CANCELLED 1223u
#define ERROR_TIMEOUT 1460u

// Last error of the calling thread (thread-local, starts at ERROR_SUCCESS).
DWORD GetLastError() noexcept;
void SetLastError(DWORD code) noexcept;

// The Win32 code that stands for an errno value: ENOENT -> 2, ENOTDIR -> 3,
// EACCES/EPERM/EISDIR/EROFS -> 5, EEXIST -> 183, EBUSY/ETXTBSY -> 32,
// ENOSPC -> 112, ENAMETOOLONG -> 206, EINVAL -> 87, ENOMEM -> 8,
// EMFILE/ENFILE -> 4, EBADF -> 6, ENOTEMPTY -> 145, 0 -> 0; any other -> 31
// (ERROR_GEN_FAILURE).
#define ERROR_GEN_FAILURE 31u
DWORD Win32ErrorFromErrno(int err) noexcept;
