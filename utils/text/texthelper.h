// Text and list helpers of the utility library: number to text, lists of
// texts (find, erase, join), two ways of splitting into a CStringArray, the
// host of an http URL, a display-width cut with "...", the text between two
// markers together with the rest, "-"-separated version comparison,
// character-class tests and SQL escaping. Comparisons are exact and
// case-sensitive in code-unit order unless a function says otherwise.
#pragma once

#include <vector>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// "%d" of n.
CString IntToString(int n);

// Removes the element at `index`; FALSE when index is outside the list.
BOOL EraseStringAt(std::vector<CString> &list, int index);
// The position of the first element equal to `text`, or -1.
int FindStringIndex(const std::vector<CString> &list, const CString &text);
// The non-empty elements with `separator` between them; trailing white space
// of the result is removed too (a blank separator therefore never ends it).
CString JoinStrings(const std::vector<CString> &list, const CString &separator);

// Empties `parts`, then stores every piece between separators, empty pieces
// included: "a-b-" gives a, b and an empty piece; an empty text gives one
// empty piece. `separator` is compared with each code unit.
void SplitByChar(CString text, CStringArray &parts, char separator);
// FALSE with `parts` untouched for an empty text. Otherwise empties `parts`
// and stores the tokens separated by any of the characters of `delimiters`;
// runs of delimiters give no empty tokens.
BOOL SplitByTokens(CString text, CStringArray &parts, LPCWSTR delimiters);

// The lower-cased, trimmed URL without any "http://", cut before its first
// '/'. Only the http scheme is removed: "https://h/" gives "https:".
CString GetUrlHost(const CString &url);
// A text of at most `width` characters comes back unchanged. Otherwise the
// leading characters whose display width (2 above U+00FF, else 1) first
// reaches `width` (so width or width + 1), followed by "..."; a width of 0 or
// less keeps no character.
CString CutString(CString text, int width);
// Replaces every character that the ANSI code page cannot hold by that code
// page's default character (a round trip through the code page).
void ToAnsiCompatible(CString &text);

// Cuts the text between the first `strBegin` in `strText` and the first
// `strEnd` after it into `strOut` and returns TRUE. An empty marker matches at
// once. FALSE with `strOut` untouched when a marker is missing; FALSE with the
// whole text in `strOut` when both markers are empty.
BOOL GetStringBetween(const CString &strText, const CString &strBegin, const CString &strEnd, CString &strOut);
// As GetStringBetween, and `rest` receives the text after the end marker.
// Both outputs stay untouched when a marker is missing; when both markers
// are empty, `between` receives the whole text, `rest` stays, and the result
// is FALSE.
BOOL GetStringBetweenEx(const CString &text, const CString &begin, const CString &end, CString &between, CString &rest);

// TRUE when `first` sorts before `second` (code-unit order).
BOOL IsStringLess(CString first, CString second);
// Compares "-"-separated versions part by part as decimal numbers (_wtol):
// 1 when first is greater, -1 when smaller, 0 when all parts are equal. A
// part that one version lacks counts as 0: "2-0" equals "2", "2-1" is
// greater than "2".
int CompareVersion(CString first, CString second);
// TRUE for a non-empty text of digits with an optional leading '-' ("-"
// alone included).
BOOL IsIntegerString(const CString &text);
// TRUE when every code unit is below 128 (an empty text included).
BOOL IsAsciiString(const CString &text);
// Escapes `text` in place for an SQL literal. Dialect "MYSQL" (exact): a
// backslash before every backslash, ', ", % and _. Any other dialect: every
// ' doubled.
void EscapeSql(CString &text, CString dialect);
