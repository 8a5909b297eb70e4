// Text conversion and escaping helpers of the utility library: UTF-8 and
// code-page conversions, URL encoding and decoding, HTML and CSV escaping,
// splitting and counting by a separator text, formatting with a growing
// buffer, display-width cuts and full-width folding. None of them reports
// errors: a failed conversion gives an empty result.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/text/html2ubb.h"  // the HTML-to-UBB conversion, in its own unit

// Conversions.
std::string ToUtf8(LPCWSTR text);
std::string ToUtf8(const CString &text);
// The UTF-8 bytes up to the first zero byte.
CString FromUtf8(const char *bytes);
CString FromUtf8(const std::string &bytes);
// Undoes a second UTF-8 encoding (UTF-8 bytes that were read as single
// characters): a character of 128 or more and the one after it become
// ((first << 6) & 0x7FF) | (second & 0x3F); a lead at the end pairs with 0.
CString FoldDoubleUtf8(const CString &text);
// Replace *out (freed with delete[] when set) with a new[] array holding
// the text in the OEM (ANSI) code page, terminator included. FALSE for a
// null text or out.
BOOL WideToOemAlloc(LPCWSTR text, char **out);
BOOL AnsiToWideAlloc(const char *text, wchar_t **out, int length);

// URL encoding of the UTF-8 bytes: letters, digits and ! ' ( ) * - . _ are
// kept, white space becomes '+', any other byte "%XX" (upper-case hex).
bool IsUrlSafeChar(char c);
CString UrlEncode(const CString &text);
// '%' and two hex digits become one byte, '+' a space; the bytes are read as
// UTF-8. A '%' without two characters after it is kept as it is.
CString UrlDecode(const CString &text);
// 0..15 for a hex digit, 0xFF for any other character.
BYTE HexDigitValue(char c);
// Two hex digits to a byte: ((first << 4) | second) cut to 8 bits.
BYTE HexPairToByte(const char *two);
// charset "utf-8" (exact): letters, digits and - _ . ! ~ * ' ( ) / : are
// kept, every other character becomes the "%XX" escapes of its UTF-8 bytes.
// Any other charset: the OEM code-page bytes, with ASCII letters, digits,
// '/' and ':' kept and every other byte escaped.
CString UrlEncodeCharset(const CString &text, CString charset);

// Escaping.
CString HtmlEncode(const CString &text);
CString HtmlDecode(const CString &text);
// Removes CR LF pairs, doubles double quotes, wraps in double quotes.
CString CsvQuote(const CString &text);
// Backslash before every backslash, apostrophe and double quote.
CString EscapeQuotes(const CString &text);
// Doubles backslashes, then puts a backslash before every '|'.
CString EscapeBackslashBar(CString text);

// Splits at every occurrence of `separator` (the text after the last one is
// a part too). Empty parts are kept only with keepEmpty. FALSE for an empty
// separator or after 500000 parts.
BOOL SplitString(const CString &text, const CString &separator, std::vector<CString> &parts, BOOL keepEmpty);
// Occurrences of `separator`, left to right without overlap; 0 for an empty
// separator or beyond 500000 passes.
int CountSubString(const CString &text, const CString &separator);

// Formats with a growing buffer (4096 characters, doubling up to 0x800000);
// empty when the text does not fit or the format is invalid.
CString FormatV(LPCWSTR format, va_list args);
// Formats into buffer[size] (cut to size - 1 characters); returns the written
// length, or the full length of the output when it was cut.
int FormatCount(wchar_t *buffer, int size, LPCWSTR format, va_list args);
// The string resource `id` of the application (module NULL); empty when
// there is none.
CString LoadResourceString(UINT id, HINSTANCE module);

// Display width: characters of code 128 or more count 2 columns, others 1.
int GetDisplayWidth(const CString &text);
// Cuts before the first character at which the width would exceed `width`.
void TruncateToDisplayWidth(CString &text, int width);
// At most maxLength characters: the first maxLength - 3 and "...", or for
// maxLength 3 or less the first maxLength characters.
CString Ellipsize(CString text, int maxLength);
// U+3000 to a space, U+FF01..U+FF5E to U+0021..U+007E; returns the length.
int FullWidthToHalfWidth(CString &text);
void TrimBoth(CString &text);
// While the text begins with `strip`, removes its first character; then,
// while it ends with `strip`, removes `strip` from the end. Returns the
// final length minus the length of `strip`; 0 (unchanged) for an empty strip.
int StripText(CString &text, const CString &strip);
// Every CR becomes LF, unless the text is empty or begins with CR.
void CrToLf(CString &text);
