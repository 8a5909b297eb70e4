// The alarm panel: a small skinned window holding the two alarm thresholds in
// digits-only edits. The floating window creates it hidden, shows it from its
// folded corner and reads the two edit texts on each refresh while the alarm is
// on. The thresholds live in the edits only; nothing is saved.
#pragma once

#include "client/resource.h"
#include "platform/window/afxwin.h"

class CSetDlg : public CDialog {
 public:
  explicit CSetDlg(CWnd *pParent = nullptr);
  ~CSetDlg() override;

  enum { IDD = IDD_SET_DIALOG };

  // Hot spots, as distances of the click from the window's right and bottom edges,
  // all bounds exclusive: the right-hand round button empties both thresholds and
  // hides the panel, the left-hand one only hides it.
  static bool InClearSpot(int dx, int dy) { return 15 < dx && dx < 30 && 15 < dy && dy < 30; }
  static bool InCloseSpot(int dx, int dy) { return 40 < dx && dx < 55 && 15 < dy && dy < 30; }

 protected:
  HICON m_hIcon;

  void DoDataExchange(CDataExchange *pDX) override;
  BOOL OnInitDialog() override;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnLButtonDown(UINT nFlags, CPoint point);
  HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
  DECLARE_MESSAGE_MAP()
};
