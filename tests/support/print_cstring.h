// Lets GoogleTest print CString values (as UTF-8) in failure messages.
#pragma once

#include <ostream>

#include "platform/text/codepage.h"
#include "platform/text/cstring.h"

inline void PrintTo(const CString &s, std::ostream *os) { *os << '"' << WideToMultiByte(CP_UTF8, s.str()) << '"'; }
