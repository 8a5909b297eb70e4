#include "utils/desktop/trayicon.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/window/headless.h"

namespace {

const UINT kTemplate = 900;
const UINT kCallback = WM_USER + 10;
const UINT kIconId = 136;       // has a menu resource
const UINT kNoMenuId = 555;     // has none
const UINT kEmptyMenuId = 556;  // a menu without popups
const UINT kExitCmd = 32771;

// A window that forwards the tray callback to its icon and records commands.
class TrayWnd : public CDialog {
 public:
  TrayWnd() : CDialog(kTemplate) {}
  CTrayIcon *icon = nullptr;
  std::vector<UINT> commands;

 protected:
  LRESULT OnTray(WPARAM w, LPARAM l) { return icon ? icon->OnTrayNotification(w, l) : 0; }
  BOOL OnCommand(WPARAM w, LPARAM l) override {
    commands.push_back(LOWORD(w));
    return CDialog::OnCommand(w, l);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TrayWnd, CDialog)
ON_MESSAGE(kCallback, OnTray)
END_MESSAGE_MAP()

HICON TestIcon() { return LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); }

int ShellCalls() {
  return HeadlessTrayCallCount(NIM_ADD) + HeadlessTrayCallCount(NIM_MODIFY) + HeadlessTrayCallCount(NIM_DELETE);
}

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessReset();
    HeadlessTrayReset();
    RegisterDialogTemplate({kTemplate, 100, 50, WS_POPUP | WS_SYSMENU, 0, nullptr, 9, {}});
    RegisterMenuResource(kIconId, {MenuPopup(L"右键", {MenuItem(L"退出", kExitCmd), MenuItem(L"其他", 32790)})});
    RegisterMenuResource(kEmptyMenuId, {});
    ASSERT_TRUE(wnd.Create(kTemplate, nullptr));
    ASSERT_TRUE(other.Create(kTemplate, nullptr));
  }
  void TearDown() override { HeadlessTrayReset(); }

  TrayWnd wnd, other;
};

TEST_F(TrayIconTest, CreateAddsTheIconAndTheDestructorRemovesIt) {
  {
    CTrayIcon icon;
    ASSERT_TRUE(icon.Create(&wnd, kCallback, L"Tickora", TestIcon(), kIconId));
    const auto icons = HeadlessTrayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].hWnd, wnd.GetSafeHwnd());
    EXPECT_EQ(icons[0].uID, kIconId);
    EXPECT_EQ(icons[0].uCallbackMessage, kCallback);
    EXPECT_EQ(icons[0].hIcon, TestIcon());
    EXPECT_EQ(icons[0].tip, L"Tickora");
    EXPECT_STREQ(icon.GetTooltipText().GetString(), L"Tickora");
    EXPECT_EQ(icon.GetNotificationWnd(), &wnd);
    EXPECT_STREQ(icon.GetRuntimeClass()->m_lpszClassName, "CTrayIcon");

    ASSERT_TRUE(icon.SetTooltipText(L"new tip"));
    ASSERT_TRUE(icon.SetIcon(HICON(nullptr)));
    EXPECT_EQ(HeadlessTrayIcons()[0].tip, L"new tip");
    EXPECT_EQ(HeadlessTrayIcons()[0].hIcon, nullptr);
  }
  EXPECT_TRUE(HeadlessTrayIcons().empty());
}

// Every operation of an icon that was never added, or whose adding failed,
// gives FALSE, none or an empty text and calls no shell function.
TEST_F(TrayIconTest, DisabledIconDoesNothing) {
  const std::vector<std::function<bool(CTrayIcon &)>> failing_creates = {
      [&](CTrayIcon &) { return true; },  // never created
      [&](CTrayIcon &i) { return !i.Create(nullptr, kCallback, L"t", TestIcon(), kIconId); },
      [&](CTrayIcon &i) {
        HeadlessTraySetRefusing(true);
        const bool failed = !i.Create(&wnd, kCallback, L"t", TestIcon(), kIconId);
        HeadlessTraySetRefusing(false);
        return failed;
      },
  };
  for (size_t n = 0; n < failing_creates.size(); ++n) {
    SCOPED_TRACE(n);
    HeadlessTrayReset();
    {
      CTrayIcon icon;
      ASSERT_TRUE(failing_creates[n](icon));
      const int calls = ShellCalls();
      EXPECT_FALSE(icon.SetIcon(TestIcon()));
      EXPECT_FALSE(icon.SetStandardIcon(MAKEINTRESOURCEW(32512)));
      EXPECT_FALSE(icon.SetTooltipText(L"x"));
      EXPECT_FALSE(icon.SetNotificationWnd(&other));
      EXPECT_EQ(icon.GetIcon(), nullptr);
      EXPECT_TRUE(icon.GetTooltipText().IsEmpty());
      icon.HideIcon();
      icon.ShowIcon();
      icon.RefreshIcon();
      EXPECT_EQ(icon.OnTrayNotification(kIconId, WM_RBUTTONUP), 0);
      icon.RemoveIcon();
      EXPECT_EQ(ShellCalls(), calls);
    }
    EXPECT_TRUE(HeadlessTrayIcons().empty());
    EXPECT_TRUE(HeadlessPopups().empty());
  }
}

TEST_F(TrayIconTest, HideAndShowMoveTheIconOutAndBackIn) {
  CTrayIcon icon(&wnd, kCallback, L"Tickora", TestIcon(), kIconId);
  const int calls = ShellCalls();
  icon.ShowIcon();  // not hidden: no shell call
  EXPECT_EQ(ShellCalls(), calls);

  icon.HideIcon();
  EXPECT_TRUE(HeadlessTrayIcons().empty());
  icon.HideIcon();  // already hidden
  EXPECT_EQ(ShellCalls(), calls + 1);
  icon.ShowIcon();
  ASSERT_EQ(HeadlessTrayIcons().size(), 1u);
  EXPECT_EQ(HeadlessTrayIcons()[0].tip, L"Tickora") << "the icon comes back as it was";

  icon.RefreshIcon();
  EXPECT_EQ(HeadlessTrayIcons().size(), 1u);
  EXPECT_EQ(ShellCalls(), calls + 4);
}

// A removed icon stays removed, whether it was hidden first or the area
// refused to take it away: nothing brings it back but Create.
TEST_F(TrayIconTest, RemovedIconStaysRemoved) {
  for (bool hiddenFirst : {true, false}) {
    SCOPED_TRACE(hiddenFirst);
    HeadlessTrayReset();
    CTrayIcon icon(&wnd, kCallback, L"Tickora", TestIcon(), kIconId);
    if (hiddenFirst) icon.HideIcon();
    HeadlessTraySetRefusing(!hiddenFirst);
    const int deletes = HeadlessTrayCallCount(NIM_DELETE);
    icon.RemoveIcon();
    HeadlessTraySetRefusing(false);
    EXPECT_EQ(HeadlessTrayCallCount(NIM_DELETE), deletes + (hiddenFirst ? 0 : 1));
    if (!hiddenFirst) HeadlessTrayReset();  // clears the icon the refusing area kept

    const int calls = ShellCalls();
    icon.ShowIcon();
    icon.RefreshIcon();
    EXPECT_FALSE(icon.SetTooltipText(L"back?"));
    EXPECT_FALSE(icon.SetIcon(TestIcon()));
    EXPECT_TRUE(icon.GetTooltipText().IsEmpty());
    EXPECT_EQ(icon.OnTrayNotification(kIconId, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(ShellCalls(), calls);
    EXPECT_TRUE(HeadlessTrayIcons().empty());

    ASSERT_TRUE(icon.Create(&wnd, kCallback, L"again", TestIcon(), kIconId));  // Create starts anew
    EXPECT_EQ(HeadlessTrayIcons().size(), 1u);
  }
}

TEST_F(TrayIconTest, LongTipIsCutToTheRecordsField) {
  const std::wstring tip(300, L'长');
  CTrayIcon icon(&wnd, kCallback, tip.c_str(), TestIcon(), kIconId);
  EXPECT_EQ(icon.GetTooltipText().GetLength(), 127);
  EXPECT_EQ(HeadlessTrayIcons().at(0).tip, tip.substr(0, 127));
}

TEST_F(TrayIconTest, NotificationsByIdAndMouseMessage) {
  CTrayIcon icon(&wnd, kCallback, L"Tickora", TestIcon(), kIconId);
  wnd.icon = &icon;
  HeadlessSetCursorPos(1200, 950);

  // Another icon's id: ignored.
  EXPECT_EQ(icon.OnTrayNotification(kIconId + 1, WM_RBUTTONUP), 0);
  EXPECT_TRUE(HeadlessPopups().empty());

  // Right-button release: the first popup of the menu with the icon's id, its
  // first item default, at the cursor, the window receiving the choice.
  HeadlessQueuePopupChoice(kExitCmd);
  EXPECT_EQ(HeadlessTrayEvent(wnd, kIconId, WM_RBUTTONUP), 1);
  HeadlessPumpMessages();
  const auto popups = HeadlessPopups();
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0].owner, wnd.GetSafeHwnd());
  EXPECT_EQ(popups[0].pt.x, 1200);
  EXPECT_EQ(popups[0].pt.y, 950);
  ASSERT_EQ(popups[0].items.size(), 2u);
  EXPECT_EQ(popups[0].items[0].text, L"退出");
  EXPECT_TRUE(popups[0].items[0].isDefault);
  EXPECT_FALSE(popups[0].items[1].isDefault);
  EXPECT_EQ(wnd.commands, std::vector<UINT>{kExitCmd});

  // Other mouse messages do nothing but are handled.
  for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE})
    EXPECT_EQ(icon.OnTrayNotification(kIconId, msg), 1) << msg;
  EXPECT_EQ(HeadlessPopups().size(), 1u);
}

TEST_F(TrayIconTest, RightClickWithoutAMenuPopupDoesNothing) {
  for (UINT id : {kNoMenuId, kEmptyMenuId}) {
    SCOPED_TRACE(id);
    CTrayIcon icon(&wnd, kCallback, L"Tickora", TestIcon(), id);
    EXPECT_EQ(icon.OnTrayNotification(id, WM_RBUTTONUP), 0);
  }
  EXPECT_TRUE(HeadlessPopups().empty());
}

TEST_F(TrayIconTest, DoubleClickBringsTheHiddenWindowToTheFront) {
  CTrayIcon icon(&wnd, kCallback, L"Tickora", TestIcon(), kIconId);
  wnd.icon = &icon;
  wnd.ShowWindow(SW_HIDE);
  HeadlessSetForegroundWindow(other);
  EXPECT_EQ(HeadlessTrayEvent(wnd, kIconId, WM_LBUTTONDBLCLK), 1);
  EXPECT_TRUE(HeadlessGetWindow(wnd).visible);
  EXPECT_EQ(HeadlessForegroundWindow(), wnd.GetSafeHwnd());
}

// The main window creates its icon again after it was destroyed and built
// anew: the area then holds the new window's icon only.
TEST_F(TrayIconTest, SecondCreateForANewWindowLeavesNoDeadIcon) {
  CTrayIcon icon;
  ASSERT_TRUE(icon.Create(&wnd, kCallback, L"Tickora", TestIcon(), kIconId));
  wnd.DestroyWindow();
  ASSERT_TRUE(icon.Create(&other, kCallback, L"Tickora", TestIcon(), kIconId));
  const auto icons = HeadlessTrayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].hWnd, other.GetSafeHwnd());
}

TEST_F(TrayIconTest, SecondCreateForTheSameWindowReplacesTheIcon) {
  for (bool hiddenFirst : {false, true}) {
    SCOPED_TRACE(hiddenFirst);
    CTrayIcon icon(&wnd, kCallback, L"first", TestIcon(), kIconId);
    if (hiddenFirst) icon.HideIcon();
    ASSERT_TRUE(icon.Create(&wnd, kCallback, L"second", TestIcon(), kIconId));
    const auto icons = HeadlessTrayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].tip, L"second");
    icon.HideIcon();  // shown again, so it can be hidden
    EXPECT_TRUE(HeadlessTrayIcons().empty());
  }
}

TEST_F(TrayIconTest, NotificationWindowCanChange) {
  CTrayIcon icon(&wnd, kCallback, L"Tickora", TestIcon(), kIconId);
  other.icon = &icon;
  ASSERT_TRUE(icon.SetNotificationWnd(&other));
  const auto icons = HeadlessTrayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].hWnd, other.GetSafeHwnd());
  EXPECT_EQ(icon.GetNotificationWnd(), &other);
  // Later changes reach the icon under its new window.
  EXPECT_TRUE(icon.SetTooltipText(L"moved"));
  EXPECT_EQ(HeadlessTrayIcons()[0].tip, L"moved");
  EXPECT_EQ(HeadlessTrayEvent(other, kIconId, WM_LBUTTONDBLCLK), 1);
}

}  // namespace
