// Message boxes over the headless backend: recorded with their owner, text
// and caption, answered from the test's script, and modal while timers fire;
// they, modal dialogs and file choosers stand above a shown window.
#include <gtest/gtest.h>

#include <thread>

#include "platform/window/afxwin.h"
#include "platform/window/filedialog.h"
#include "platform/window/headless.h"
#include "tests/platform/window/window_fixture.h"

namespace {

using namespace window_test;

class MessageBoxTest : public WindowTest {};

TEST_F(MessageBoxTest, TimersKeepFiringWhileAMessageBoxIsOpen) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  dlg.SetTimer(2, 5000, nullptr);
  HeadlessSetMessageBoxHandler([&](const HeadlessMessageBox &) {
    HeadlessAdvanceClock(12000);  // the user waits twelve seconds
    return IDOK;
  });
  EXPECT_EQ(AfxMessageBox(L"alarm"), IDOK);
  EXPECT_EQ(dlg.log, (Log{"init", "timer2@5000", "timer2@10000"}));
}

TEST_F(MessageBoxTest, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  RegisterStringResource(AFX_IDS_APP_TITLE, L"Tickora");
  HeadlessQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(::MessageBoxW(dlg.m_hWnd, L"q?", L"提示", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(::MessageBoxW(nullptr, L"y?", nullptr, MB_YESNO), IDYES);  // no answer queued: first button
  EXPECT_EQ(dlg.MessageBox(L"加载位图失败！"), IDOK);
  int fromThread = 0;
  std::thread([&] { fromThread = AfxMessageBox(L"worker"); }).join();
  EXPECT_EQ(fromThread, IDOK);
  auto boxes = HeadlessMessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].owner, dlg.m_hWnd);
  EXPECT_EQ(boxes[0].caption, L"提示");
  EXPECT_EQ(boxes[1].caption, L"错误");
  EXPECT_EQ(boxes[2].caption, L"Tickora");
  EXPECT_EQ(boxes[2].text, L"加载位图失败！");
  EXPECT_EQ(boxes[3].type, (UINT)MB_OK);
}

// What a box, a modal dialog and a chooser stand above: the owner's top-level
// window when it is shown; else the main window when shown, else the active
// window; else nothing.
TEST_F(MessageBoxTest, BoxesDialogsAndChoosersStandAboveAShownWindow) {
  CWinApp app;
  Probe shown, hidden(IDD_CHILD), mainWnd, form(IDD_FORM);
  shown.Create(IDD_PLAIN);
  hidden.Create(IDD_CHILD);
  mainWnd.Create(IDD_PLAIN);
  form.Create(IDD_FORM);
  form.ShowWindow(SW_SHOW);
  CWnd *label = form.GetDlgItem(IDC_LABEL);
  struct Case {
    const char *what;
    CWnd *owner;
    bool mainSet, mainShown;
    CWnd *active;
    CWnd *expected;
  } cases[] = {
      {"shown owner", &shown, true, true, &form, &shown},
      {"a control's top level", label, true, true, &shown, &form},
      {"hidden owner: the main window", &hidden, true, true, &shown, &mainWnd},
      {"no owner: the main window", nullptr, true, true, &shown, &mainWnd},
      {"hidden main window: the active one", &hidden, true, false, &shown, &shown},
      {"no main window: the active one", nullptr, false, false, &form, &form},
      {"nothing shown", &hidden, true, false, &hidden, nullptr},
      {"nothing at all", nullptr, false, false, nullptr, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    app.m_pMainWnd = c.mainSet ? &mainWnd : nullptr;
    mainWnd.ShowWindow(c.mainShown ? SW_SHOW : SW_HIDE);
    HeadlessSetForegroundWindow(c.active ? c.active->m_hWnd : nullptr);
    const HWND expected = c.expected ? c.expected->m_hWnd : nullptr;
    const HWND owner = c.owner ? c.owner->m_hWnd : nullptr;

    ::MessageBoxW(owner, L"q", L"t", MB_OK);
    EXPECT_EQ(HeadlessMessageBoxes().back().owner, c.owner == label ? form.m_hWnd : owner)
        << "the owner stays as given (its top level)";
    EXPECT_EQ(HeadlessMessageBoxes().back().transientFor, expected) << "message box";

    HWND chooserAbove = reinterpret_cast<HWND>(-1);
    SetFileChooserHandler([&](const FileChooserRequest &r) {
      chooserAbove = r.transientFor;
      return std::nullopt;
    });
    RunFileChooser(owner, FileChooserRequest{});
    EXPECT_EQ(chooserAbove, expected) << "file chooser";

    Probe modal(IDD_CHILD, c.owner);
    HWND dialogAbove = reinterpret_cast<HWND>(-1);
    RECT placed{};
    HeadlessOnModal([&](CWnd *w) {
      dialogAbove = HeadlessGetWindow(w->m_hWnd).transientFor;
      placed = HeadlessGetWindow(w->m_hWnd).rect;
      w->SendMessage(WM_COMMAND, IDCANCEL, 0);
    });
    modal.DoModal();
    EXPECT_EQ(dialogAbove, expected) << "modal dialog";
    if (expected) {  // centred over what it stands above
      const RECT o = HeadlessGetWindow(expected).rect;
      EXPECT_NEAR((placed.left + placed.right) / 2, (o.left + o.right) / 2, 1);
      EXPECT_NEAR((placed.top + placed.bottom) / 2, (o.top + o.bottom) / 2, 1);
    }
  }
  SetFileChooserHandler(nullptr);
  app.m_pMainWnd = nullptr;
}

}  // namespace
