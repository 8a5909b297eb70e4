// Message boxes over the headless backend: recorded with their owner, text
// and caption, answered from the test's script, and modal while timers fire.
#include <gtest/gtest.h>

#include <thread>

#include "platform/window/afxwin.h"
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

}  // namespace
