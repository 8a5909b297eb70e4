// Finding and ending processes: the process list of /proc, each process's
// executable, and process handles that are process file descriptors
// (pidfd), closed with CloseHandle (platform/system/fileapi.h) like every
// descriptor handle of the layer.
#pragma once

#include "platform/system/fileapi.h"
#include "platform/text/windef.h"

#define PROCESS_TERMINATE 0x0001u
#define PROCESS_VM_READ 0x0010u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u
#define SYNCHRONIZE 0x00100000u
#define PROCESS_ALL_ACCESS 0x001FFFFFu

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#ifndef ERROR_PARTIAL_COPY
#define ERROR_PARTIAL_COPY 299u
#endif

// The identifiers of the running processes in ascending order, as many as
// fit `cb` bytes; *bytesReturned is the bytes written. FALSE when /proc
// cannot be read.
BOOL EnumProcesses(DWORD *processIds, DWORD cb, DWORD *bytesReturned);

// A handle of the process, or null with the last error: ERROR_INVALID_PARAMETER
// for identifier 0 or a process that does not exist, ERROR_ACCESS_DENIED when
// PROCESS_TERMINATE is asked for (PROCESS_ALL_ACCESS includes it) and this
// process may not signal that one.
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);

// A process has one module here, its executable. FALSE with
// ERROR_ACCESS_DENIED when its executable cannot be read (another user's
// process) and ERROR_PARTIAL_COPY when it has none (kernel threads, ended
// processes).
BOOL EnumProcessModules(HANDLE process, HMODULE *modules, DWORD cb, LPDWORD bytesNeeded);
// The executable's path (cut to size - 1 characters); 0 on failure.
DWORD GetModuleFileNameExW(HANDLE process, HMODULE module, LPWSTR fileName, DWORD size);

// Ends the process at once (SIGKILL; its exit code cannot be chosen here).
// FALSE with the last error when the signal cannot be sent.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// Waits until the process has ended: WAIT_OBJECT_0, WAIT_TIMEOUT after
// `milliseconds` (INFINITE: no limit) or WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
