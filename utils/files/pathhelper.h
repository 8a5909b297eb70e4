// Path text helpers: take a path apart and join path pieces as plain text,
// without touching the file system. The splitting functions work on the
// last '/', the platform's path separator; a backslash is an ordinary
// character of a file name here. The joining functions take the separator as
// a text of any length and put exactly one separator at each seam.
#pragma once

#include <vector>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// The text after the last '/', or the whole path when it has none.
CString GetFileName(CString path);
// The file name up to, not including, its last '.'; the whole file name when
// it has none.
CString GetFileBaseName(CString path);
// The file name from its last '.' on, the dot included (".txt"); the whole
// file name when it has none.
CString GetFileExt(CString path);
// The text before the last '/'; empty when there is none.
CString GetParentFolder(CString path);

// Joins the non-empty pieces so that one `separator` stands between two:
// each piece gets a separator at its end unless it has one, and every piece
// but the first loses one leading separator. When the last piece (empty or
// not) ends with the separator the result keeps its trailing separator;
// otherwise the trailing separator is kept only with keepTrailing. Only one
// separator is added or removed at each seam. No pieces: an empty text.
CString JoinPathList(BOOL keepTrailing, const CString &separator, const std::vector<CString> &parts);
CString JoinPath(CString first, CString second, const CString &separator, BOOL keepTrailing);
// JoinPathList over `count` pieces: `part` and then count - 1 further
// `const CString *` arguments (a null pointer counts as an empty piece).
CString JoinPathArgs(BOOL keepTrailing, const CString &separator, int count, const CString *part, ...);
