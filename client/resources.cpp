#include "client/resources.h"

#include "client/resource.h"
#include "platform/window/afxwin.h"

void RegisterMainResources() {
  RegisterDialogTemplate(
      {IDD_ABOUTBOX,
       170,
       62,
       WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
       0,
       L"关于 Tickora",
       9,
       {
           {-1, DLGITEM_ICON, nullptr, 14, 14, 21, 20, SS_ICON, IDR_MAINFRAME},
           {-1, DLGITEM_STATIC, L"Tickora，1.0 版", 42, 14, 114, 8, SS_LEFT},
           {IDOK, DLGITEM_BUTTON, L"确定", 113, 41, 50, 14, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
       }});
  RegisterDialogTemplate(
      {IDD_TICKORA_DIALOG, 181, 288, WS_POPUP | WS_VISIBLE | WS_SYSMENU | DS_SETFONT, WS_EX_APPWINDOW, nullptr, 9, {}});
  RegisterStringResource(IDS_ABOUTBOX, L"关于 Tickora(&A)...");
  RegisterHtmlResource(IDR_HTML_TICKORA_DIALOG, L"tickora_dialog.html");
  RegisterIconResource(IDR_MAINFRAME, L"tickora.png");
  RegisterMenuResource(IDR_MENU_TRAY, {MenuPopup(L"右键", {MenuItem(L"退出", ID_MENU_EXIT)})});
}

void RegisterClientResources() {
  // The application's name, which message boxes take as their caption: the
  // name of the program ("Tickora"), not of its file on this system.
  RegisterStringResource(AFX_IDS_APP_TITLE, L"Tickora");
  RegisterMainResources();
  RegisterSuspendResources();
}
