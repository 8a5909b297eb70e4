// The script control: runs ECMAScript programs (the "JScript" language) in an
// engine of its own (Duktape), one engine per control object. Text crosses
// the boundary as UTF-16 units, as the script language sees it: a character
// above U+FFFF is a surrogate pair inside the script.
//
// Values reach a script through SetGlobalText, never by splicing them into
// program text, so no input can change what the program does.
//
// Not copyable; one object is used by one thread at a time.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

typedef HRESULT SCODE;

#define DISP_E_EXCEPTION ((SCODE)0x80020009L)

// A failure raised by the script engine: the code and the engine's message
// (for a script error, its name and text, e.g. "SyntaxError: ...").
class COleDispatchException : public std::runtime_error {
 public:
  COleDispatchException(SCODE code, const CString &description);
  SCODE m_scError;
  CString m_strDescription;
};

class CScriptControl {
 public:
  CScriptControl() = default;
  ~CScriptControl();
  CScriptControl(const CScriptControl &) = delete;
  CScriptControl &operator=(const CScriptControl &) = delete;

  // Creates the engine for the program id "MSScriptControl.ScriptControl";
  // FALSE for any other id or when the engine cannot be made.
  BOOL CreateDispatch(LPCWSTR progId);
  // Ends the engine; the object can be created again.
  void ReleaseDispatch();

  // The language: only "JScript" is known. Throws COleDispatchException for
  // any other, or when no engine was created.
  void SetLanguage(LPCWSTR language);
  // Sets the global variable `name` to a string holding `value`.
  void SetGlobalText(const char *name, const CString &value);
  // Compiles the program and runs its top-level statements; its functions and
  // variables stay defined for later calls. Throws COleDispatchException for
  // a syntax or run-time error.
  void AddCode(const CString &code);
  // Evaluates an expression and returns its value converted to text. Throws
  // COleDispatchException on error.
  CString Eval(const CString &expression);

 private:
  void RequireEngine() const;
  struct duk_hthread *ctx_ = nullptr;
  bool languageSet_ = false;
};
