#include "client/tickora.h"

#include "client/tickoradlg.h"

BEGIN_MESSAGE_MAP(CTickoraApp, CWinAppEx)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CTickoraApp::CTickoraApp() : CWinAppEx(TRUE) {}

CTickoraApp theApp;

BOOL CTickoraApp::InitInstance() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  CWinAppEx::InitInstance();
  AfxEnableControlContainer();
  SetRegistryKey(L"应用程序向导生成的本地应用程序");

  CTickoraDlg dlg;
  dlg.DoModal();
  m_pMainWnd = &dlg;
  dlg.DoModal();
  // The dialog dies with this frame; leave no pointer to it behind.
  m_pMainWnd = nullptr;
  return FALSE;
}
