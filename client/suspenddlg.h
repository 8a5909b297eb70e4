// The floating quote window: a skinned, always-on-top popup in the bottom-right
// corner of the screen with the four figures of the quote record. Its context menu
// ends the program, switches the price alarm and the always-on-top state; a click in
// its folded top-right corner opens the alarm panel; a double click shows or hides
// the main window (its owner). Timer 1 refreshes the figures every 5000 ms and, with
// the alarm on, compares the prices with the panel's thresholds; while an alarm
// message is open, timer 2 replays the sound every 5000 ms.
//
// The main dialog creates it with Create(IDD_SUSPEND_DIALOG, this), places it with
// PlaceAtBottomRight and shows it. The object lives until the process ends (or the
// test that made it deletes it); it owns the panel and deletes it with itself.
#pragma once

#include "client/resource.h"
#include "platform/window/afxwin.h"

class CSetDlg;

class CSUSPENDDLG : public CDialog {
 public:
  explicit CSUSPENDDLG(CWnd *pParent = nullptr);
  ~CSUSPENDDLG() override;

  enum { IDD = IDD_SUSPEND_DIALOG };

  // Moves the window, keeping its size and z-order, so that its bottom-right corner
  // meets the bottom-right corner of the full-screen work area.
  void PlaceAtBottomRight();

  // The text of the alarm message.
  static constexpr const wchar_t *kAlarmMessage = L"Tickora提醒：市场已达到你设置的报警价格，请注意！";
  // Timer ids: the refresh and alarm check, and the sound replay during an alarm.
  static constexpr UINT_PTR kRefreshTimer = 1;
  static constexpr UINT_PTR kReplayTimer = 2;
  static constexpr UINT kTimerPeriod = 5000;

  HICON m_hIcon;
  CSetDlg *m_pSetDlg;  // the alarm panel, created hidden in OnInitDialog
  BOOL m_bTopMost;     // always on top
  BOOL m_bAlarm;       // the price alarm is on
  // This window's own record of whether the main window is hidden; only the
  // double click reads and changes it.
  BOOL m_bMainHidden;

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  BOOL OnInitDialog() override;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnLButtonDblClk(UINT nFlags, CPoint point);
  void OnLButtonDown(UINT nFlags, CPoint point);
  BOOL OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message);
  HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
  void OnContextMenu(CWnd *pWnd, CPoint point);
  void OnInitMenuPopup(CMenu *pPopupMenu, UINT nIndex, BOOL bSysMenu);
  void OnMenuExit();
  void OnMenuAlarm();
  void OnUpdateMenuAlarm(CCmdUI *pCmdUI);
  void OnMenuTopMost();
  void OnUpdateMenuTopMost(CCmdUI *pCmdUI);
  void OnTimer(UINT_PTR nIDEvent);
  DECLARE_MESSAGE_MAP()

 private:
  // The cursor lies in the top-right 30 x 30 pixels, where the corner is folded.
  bool CursorInHotCorner() const;
  // Timer 1: the four labels from the quote record, then the alarm check.
  void RefreshQuotes();
  void SetLabel(int nID, const CString &text);
  // Plays the sound, shows the alarm message and waits for it to be closed, with
  // timer 2 replaying the sound and timer 1 stopped meanwhile.
  void SoundAlarm();
};
