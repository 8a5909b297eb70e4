// Starting programs and handing files or URLs to the desktop.
//
// CreateProcessW starts the program file itself (no search of PATH) with the
// file as its only argument, the caller's environment and folder, and only the
// standard input, output and error descriptors inherited. The handles it
// returns are process descriptors, closed with CloseHandle (platform/system/fileapi.h;
// INVALID_HANDLE_VALUE where the kernel offers none); the child is reaped by the layer when
// it ends, so no zombie stays whether or not the handles are kept.
//
// ShellExecuteW hands the target to the desktop's opener (xdg-open, found on
// PATH) and waits only for its verdict, not for the program it starts.
#pragma once

#include "platform/system/fileapi.h"
#include "platform/text/windef.h"

#define NORMAL_PRIORITY_CLASS 0x00000020u

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

// Only cb is looked at; the window and console fields have no meaning here.
struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE *lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOW *LPSTARTUPINFOW;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
typedef PROCESS_INFORMATION *LPPROCESS_INFORMATION;

// Starts lpApplicationName with no arguments besides its own name. FALSE
// with the system's error as last error (ERROR_FILE_NOT_FOUND for a missing
// file, ERROR_ACCESS_DENIED for one that is not executable); FALSE with
// ERROR_INVALID_PARAMETER when the name is missing or empty or startup info or
// the process record is null; FALSE with ERROR_NOT_SUPPORTED for a command
// line, a private environment or handle inheritance, which this layer does
// not offer. Creation flags and security attributes are accepted and ignored.
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);

#define SE_ERR_FNF 2
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31

// Opens lpFile with the default verb (lpOperation null or "open") through
// xdg-open. The result is greater than 32 when the opener accepted the
// target: it ended successfully, or still runs after two seconds (it then
// runs the program it chose). SE_ERR_FNF when no opener can be started or it
// reports a missing file; SE_ERR_NOASSOC for another verb, an empty target or
// any other refusal of the opener (no program for the type, a failed start).
// Parameters and the show command are ignored; a working folder, when given,
// is the opener's current folder.
HINSTANCE ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters, LPCWSTR lpDirectory,
                        INT nShowCmd);
