// The alarm panel headless: its edits, the clear and close spots with their
// exclusive bounds, the dialog keys, and the edits' colours.
#include <algorithm>

#include "tests/client/suspend_fixture.h"

namespace {

class SetDlgTest : public SuspendTest {
 protected:
  void SetUp() override {
    SuspendTest::SetUp();
    // Opened from the floating window's corner at (600, 400): the panel stands at (500, 400).
    MoveFloat(600, 400);
    HeadlessMouse(Float(), MOUSE_LDOWN, POINT{700, 405});
    HeadlessPumpMessages();
    ASSERT_TRUE(HeadlessGetWindow(Panel()).visible);
  }
  void Type(const wchar_t *a, const wchar_t *b) {
    HeadlessTypeText(PanelEdit(IDC_ALARM_A), a);
    HeadlessTypeText(PanelEdit(IDC_ALARM_B), b);
  }
};

TEST_F(SetDlgTest, EditsLieOnTheEntryLinesAndTakeDigitsOnly) {
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_A)).left, 50);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_A)).top, 45);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_A)).right, 95);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_A)).bottom, 60);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_B)).left, 50);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_B)).top, 66);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_B)).right, 95);
  EXPECT_EQ(Rect(PanelEdit(IDC_ALARM_B)).bottom, 81);
  EXPECT_TRUE(HeadlessGetWindow(Panel()).exStyle & WS_EX_TOOLWINDOW);

  HeadlessTypeText(PanelEdit(IDC_ALARM_A), L"123");
  HeadlessTypeText(PanelEdit(IDC_ALARM_A), L"4x");  // refused
  EXPECT_EQ(Text(PanelEdit(IDC_ALARM_A)), L"123");
  HeadlessPasteText(PanelEdit(IDC_ALARM_B), L"12a3");
  EXPECT_EQ(Text(PanelEdit(IDC_ALARM_B)), L"12a3");

  HeadlessPumpMessages();
  EXPECT_EQ(HeadlessGetControlLook(PanelEdit(IDC_ALARM_A)).textColor, (COLORREF)0x0000FF);
  EXPECT_EQ(HeadlessGetControlLook(PanelEdit(IDC_ALARM_B)).textColor, (COLORREF)0x00FF00);
}

// A press at (dx, dy) from the panel's right and bottom edges: the right-hand button
// clears and hides, the left-hand one hides and keeps the thresholds; the bounds are
// exclusive on both sides. Every press also drags the panel.
TEST_F(SetDlgTest, ClearAndCloseSpots) {
  enum Effect { kNothing, kClear, kClose };
  struct Case {
    int dx, dy;
    Effect effect;
  } cases[] = {
      {22, 22, kClear},   {16, 16, kClear},   {29, 29, kClear},   {15, 22, kNothing},
      {30, 22, kNothing}, {22, 15, kNothing}, {22, 30, kNothing}, {47, 22, kClose},
      {41, 16, kClose},   {54, 29, kClose},   {40, 22, kNothing}, {55, 22, kNothing},
      {47, 15, kNothing}, {47, 30, kNothing}, {35, 22, kNothing}, {80, 80, kNothing},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "dx " << c.dx << " dy " << c.dy);
    float_->m_pSetDlg->ShowWindow(SW_SHOW);
    Type(L"3500", L"500");
    const RECT r = Rect(Panel());
    const std::vector<HWND> before = HeadlessDragsStarted();

    HeadlessMouse(Panel(), MOUSE_LDOWN, POINT{r.right - c.dx, r.bottom - c.dy});
    HeadlessPumpMessages();

    EXPECT_EQ(HeadlessGetWindow(Panel()).visible, c.effect == kNothing);
    const bool cleared = c.effect == kClear;
    EXPECT_EQ(Text(PanelEdit(IDC_ALARM_A)), cleared ? L"" : L"3500");
    EXPECT_EQ(Text(PanelEdit(IDC_ALARM_B)), cleared ? L"" : L"500");
    const std::vector<HWND> after = HeadlessDragsStarted();
    EXPECT_EQ(after.size(), before.size() + 1);
    EXPECT_TRUE(!after.empty() && after.back() == Panel());
  }
}

TEST_F(SetDlgTest, EnterAndEscapeOnlyHideAndTextsSurvive) {
  Type(L"3500", L"500");
  for (UINT vk : {VK_RETURN, VK_ESCAPE}) {
    SCOPED_TRACE(vk);
    float_->m_pSetDlg->ShowWindow(SW_SHOW);
    HeadlessKey(PanelEdit(IDC_ALARM_A), vk);
    HeadlessPumpMessages();
    EXPECT_FALSE(HeadlessGetWindow(Panel()).visible);
    EXPECT_TRUE(IsWindow(Panel()));
    float_->m_pSetDlg->ShowWindow(SW_SHOW);
    EXPECT_EQ(Text(PanelEdit(IDC_ALARM_A)), L"3500");
    EXPECT_EQ(Text(PanelEdit(IDC_ALARM_B)), L"500");
  }
}

TEST_F(SetDlgTest, ClearedThresholdsStopTheAlarm) {
  HeadlessSetMessageBoxHandler([](const HeadlessMessageBox &) { return IDOK; });
  float_->SendMessage(WM_COMMAND, ID_MENU_ALARM, 0);
  Type(L"100", L"100");
  SetRecord(L"200", L"200", L"", L"");
  const RECT r = Rect(Panel());
  HeadlessMouse(Panel(), MOUSE_LDOWN, POINT{r.right - 22, r.bottom - 22});
  HeadlessPumpMessages();
  HeadlessAdvanceClock(5000);
  EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

}  // namespace
