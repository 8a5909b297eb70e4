// The About box: a plain modal dialog on template 100 whose OK button ends it.
#pragma once

#include "client/resource.h"
#include "platform/window/afxwin.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  enum { IDD = IDD_ABOUTBOX };

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  DECLARE_MESSAGE_MAP()
};
