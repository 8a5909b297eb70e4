#include "platform/system/scriptcontrol.h"

#include <duktape.h>

#include <cstdlib>
#include <cwchar>

#include "platform/text/codepage.h"

namespace {

// Wide text to the engine's string form: every UTF-16 unit as its own UTF-8
// sequence (characters above U+FFFF become two surrogate units).
std::string ToEngine(const wchar_t *text, size_t length) {
  const std::string units = WideToUtf16Le(text, length);
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    const uint32_t u = static_cast<unsigned char>(units[i]) | (static_cast<unsigned char>(units[i + 1]) << 8);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// The engine's string form back to wide text: each UTF-8 sequence is a UTF-16
// unit (or, from four bytes, a whole character); pairs of units join into one
// character.
CString FromEngine(const char *bytes, size_t length) {
  std::string units;
  const auto unit = [&units](uint32_t u) {
    units += static_cast<char>(u & 0xFF);
    units += static_cast<char>(u >> 8);
  };
  for (size_t i = 0; i < length;) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const size_t extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : length;
    if (extra >= length - i) {
      // A stray continuation byte or a sequence cut off at the end.
      unit(0xFFFD);
      ++i;
      continue;
    }
    uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    i += 1 + extra;
    if (c > 0xFFFF) {
      c -= 0x10000;
      unit(0xD800 | (c >> 10));
      unit(0xDC00 | (c & 0x3FF));
    } else {
      unit(c);
    }
  }
  const std::wstring text = Utf16LeToWide(units.data(), units.size());
  return CString(text.c_str(), static_cast<int>(text.size()));
}

[[noreturn]] void Fatal(void *, const char *) { std::abort(); }

// Throws the error on top of the engine's stack (and pops it).
[[noreturn]] void ThrowTop(duk_context *ctx) {
  duk_size_t len = 0;
  const char *msg = duk_safe_to_lstring(ctx, -1, &len);
  const CString text = FromEngine(msg, len);
  duk_pop(ctx);
  throw COleDispatchException(DISP_E_EXCEPTION, text);
}

}  // namespace

COleDispatchException::COleDispatchException(SCODE code, const CString &description)
    : std::runtime_error(WideToMultiByte(CP_UTF8, description.GetString(), description.GetLength())),
      m_scError(code),
      m_strDescription(description) {}

CScriptControl::~CScriptControl() { ReleaseDispatch(); }

BOOL CScriptControl::CreateDispatch(LPCWSTR progId) {
  if (!progId || std::wcscmp(progId, L"MSScriptControl.ScriptControl") != 0) return FALSE;
  ReleaseDispatch();
  ctx_ = duk_create_heap(nullptr, nullptr, nullptr, nullptr, Fatal);
  return ctx_ ? TRUE : FALSE;
}

void CScriptControl::ReleaseDispatch() {
  if (ctx_) duk_destroy_heap(ctx_);
  ctx_ = nullptr;
  languageSet_ = false;
}

void CScriptControl::RequireEngine() const {
  if (!ctx_) throw COleDispatchException(E_FAIL, L"no script engine");
  if (!languageSet_) throw COleDispatchException(E_FAIL, L"no script language set");
}

void CScriptControl::SetLanguage(LPCWSTR language) {
  if (!ctx_) throw COleDispatchException(E_FAIL, L"no script engine");
  if (!language || std::wcscmp(language, L"JScript") != 0)
    throw COleDispatchException(E_FAIL, L"unknown script language");
  languageSet_ = true;
}

void CScriptControl::SetGlobalText(const char *name, const CString &value) {
  RequireEngine();
  const std::string bytes = ToEngine(value.GetString(), value.GetLength());
  duk_push_lstring(ctx_, bytes.data(), bytes.size());
  duk_put_global_string(ctx_, name);
}

void CScriptControl::AddCode(const CString &code) {
  RequireEngine();
  const std::string bytes = ToEngine(code.GetString(), code.GetLength());
  if (duk_pcompile_lstring(ctx_, 0, bytes.data(), bytes.size()) != 0) ThrowTop(ctx_);
  if (duk_pcall(ctx_, 0) != DUK_EXEC_SUCCESS) ThrowTop(ctx_);
  duk_pop(ctx_);
}

CString CScriptControl::Eval(const CString &expression) {
  RequireEngine();
  const std::string bytes = ToEngine(expression.GetString(), expression.GetLength());
  if (duk_peval_lstring(ctx_, bytes.data(), bytes.size()) != 0) ThrowTop(ctx_);
  duk_size_t len = 0;
  const char *text = duk_safe_to_lstring(ctx_, -1, &len);
  CString result = FromEngine(text, len);
  duk_pop(ctx_);
  return result;
}
