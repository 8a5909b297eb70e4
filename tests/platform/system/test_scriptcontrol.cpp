#include "platform/system/scriptcontrol.h"

#include <gtest/gtest.h>

#include "tests/support/print_cstring.h"

namespace {

TEST(ScriptControlTest, RunsProgramsAndKeepsTheirGlobals) {
  CScriptControl control;
  EXPECT_FALSE(control.CreateDispatch(L"Other.Control"));
  ASSERT_TRUE(control.CreateDispatch(L"MSScriptControl.ScriptControl"));
  EXPECT_THROW(control.AddCode(L"var a = 1;"), COleDispatchException) << "no language yet";
  EXPECT_THROW(control.SetLanguage(L"VBScript"), COleDispatchException);
  control.SetLanguage(L"JScript");
  // A value arrives as a string of UTF-16 units, whatever it holds.
  control.SetGlobalText("input", L"a'\"\\\U0001F600");
  control.AddCode(L"function twice(s) { return s + s; } var n = input.length;");
  EXPECT_EQ(control.Eval(L"n"), CString(L"6"));
  EXPECT_EQ(control.Eval(L"twice(input)"), CString(L"a'\"\\\U0001F600a'\"\\\U0001F600"));
}

TEST(ScriptControlTest, ScriptErrorsArriveAsExceptions) {
  CScriptControl control;
  ASSERT_TRUE(control.CreateDispatch(L"MSScriptControl.ScriptControl"));
  control.SetLanguage(L"JScript");
  const struct {
    const wchar_t *code;
    const wchar_t *kind;
  } cases[] = {{L"var s = 'open;", L"SyntaxError"},
               {L"undefinedFunction();", L"ReferenceError"},
               {L"throw new Error('stop');", L"Error: stop"}};
  for (const auto &c : cases) {
    try {
      control.AddCode(c.code);
      ADD_FAILURE() << "no exception for " << c.code;
    } catch (const COleDispatchException &e) {
      EXPECT_EQ(e.m_scError, DISP_E_EXCEPTION);
      EXPECT_NE(e.m_strDescription.Find(c.kind), -1) << e.what();
    }
  }
  EXPECT_THROW(control.Eval(L"("), COleDispatchException);
  EXPECT_EQ(control.Eval(L"1 + 2"), CString(L"3")) << "the engine stays usable after errors";
}

}  // namespace
