#include "platform/text/errortext.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/text/winerror.h"

namespace {

struct ErrorText {
  DWORD code;
  const wchar_t *text;
};

const ErrorText kTexts[] = {
    {0, L"The operation completed successfully."},
    {1, L"Incorrect function."},
    {2, L"The system cannot find the file specified."},
    {3, L"The system cannot find the path specified."},
    {4, L"The system cannot open the file."},
    {5, L"Access is denied."},
    {6, L"The handle is invalid."},
    {8, L"Not enough memory resources are available to process this command."},
    {13, L"The data is invalid."},
    {14, L"Not enough memory resources are available to complete this operation."},
    {32, L"The process cannot access the file because it is being used by another process."},
    {38, L"Reached the end of the file."},
    {50, L"The request is not supported."},
    {80, L"The file exists."},
    {87, L"The parameter is incorrect."},
    {112, L"There is not enough space on the disk."},
    {120, L"This function is not supported on this system."},
    {122, L"The data area passed to a system call is too small."},
    {123, L"The filename, directory name, or volume label syntax is incorrect."},
    {145, L"The directory is not empty."},
    {183, L"Cannot create a file when that file already exists."},
    {206, L"The filename or extension is too long."},
    {234, L"More data is available."},
    {259, L"No more data is available."},
    {995, L"The I/O operation has been aborted because of either a thread exit or an application request."},
    {1113, L"No mapping for the Unicode character exists in the target multi-byte code page."},
    {1223, L"The operation was canceled by the user."},
    {1300, L"Not all privileges or groups referenced are assigned to the caller."},
    {1460, L"This operation returned because the timeout period expired."},
    {12002, L"The operation timed out"},
    {12005, L"The URL is invalid"},
    {12006, L"The URL does not use a recognized protocol"},
    {12007, L"The server name or address could not be resolved"},
    {12029, L"A connection with the server could not be established"},
    {12030, L"The connection with the server was terminated abnormally"},
    {12031, L"The connection with the server was reset"},
    {12037, L"The date in the certificate is invalid or has expired"},
    {12038, L"The host name in the certificate is invalid or does not match"},
    {12045, L"The certificate authority is invalid or incorrect"},
    {12150, L"The requested header could not be located"},
    {12152, L"The server returned an invalid or unrecognized response"},
    {12156, L"The redirection failed because either the scheme changed or all attempts made to redirect failed"},
    {12157, L"An error occurred in the secure channel support"},
};

const wchar_t *Lookup(DWORD code) {
  for (const ErrorText &e : kTexts)
    if (e.code == code) return e.text;
  return nullptr;
}

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void *) noexcept {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) ||
      !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const wchar_t *text = Lookup(messageId);
  if (!text) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  size_t length = std::wcslen(text) + 2;  // with the trailing CR LF
  wchar_t *out = buffer;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    out = static_cast<wchar_t *>(std::malloc((length + 1) * sizeof(wchar_t)));
    if (!out) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
  } else if (size < length + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(out, text, length - 2);
  out[length - 2] = L'\r';
  out[length - 1] = L'\n';
  out[length] = L'\0';
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) *reinterpret_cast<LPWSTR *>(buffer) = out;
  return static_cast<DWORD>(length);
}
