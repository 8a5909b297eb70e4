// MIME types of file names from the desktop's shared MIME database
// (shared-mime-info, read through GIO).
#pragma once

#include <string>

namespace platform {

// The type the database gives a file of this name, by the name alone (its
// globs: extensions and whole names such as "Makefile", letter case ignored
// where the database says so); empty when it knows no type for the name.
std::wstring MimeTypeOfFileName(const std::wstring &fileName);

}  // namespace platform
