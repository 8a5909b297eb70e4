// Character-set detection of an HTTP response: the charset parameter of the
// raw headers, else the charset of a meta tag in the page, else "gb2312".
#pragma once

#include <string>

#include "platform/text/cstring.h"

namespace pcutil {

// The name in lower case. The header rule holds only when "charset=" occurs
// exactly once in the headers; the page is read up to its first NUL byte in
// the thread's ANSI code page, and its meta tag may quote the name
// (<meta charset="utf-8">). Never fails: a rule that finds nothing passes on.
CString DetectCharsetName(const CString &rawHeaders, const std::string &body);

}  // namespace pcutil
