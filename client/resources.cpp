#include "client/resources.h"

#include <filesystem>
#include <system_error>

#include "client/resource.h"
#include "client/tickora_config.h"
#include "platform/text/codepage.h"
#include "platform/window/afxwin.h"
#include "utils/myfun.h"

const wchar_t kProgramIconFile[] = L"tickora.png";

namespace {

// The page of resource 104: a folder that holds it holds the resources.
const wchar_t kPageFile[] = L"tickora_dialog.html";

}  // namespace

std::wstring FindResourceFolder() {
  namespace fs = std::filesystem;
  const CString self = GetAppFilePath(CString());  // the program's folder and a separator
  const fs::path here = fs::path(WideToMultiByte(CP_UTF8, self.GetString())).parent_path();
  const std::string page = WideToMultiByte(CP_UTF8, kPageFile);
  std::error_code ec;
  const fs::path installed = (here / TICKORA_RESOURCES_FROM_PROGRAM).lexically_normal();
  const fs::path &folder = !fs::exists(here / page, ec) && fs::exists(installed / page, ec) ? installed : here;
  return MultiByteToWide(CP_UTF8, folder.string());
}

CString ResourceFilePath(const wchar_t *name) {
  std::wstring folder = GetResourceFolder();
  if (folder.empty()) return GetAppFilePath(name);
  if (folder.back() != L'/') folder += L'/';
  return CString((folder + name).c_str());
}

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
  RegisterHtmlResource(IDR_HTML_TICKORA_DIALOG, kPageFile);
  RegisterIconResource(IDR_MAINFRAME, kProgramIconFile);
  RegisterMenuResource(IDR_MENU_TRAY, {MenuPopup(L"右键", {MenuItem(L"退出", ID_MENU_EXIT)})});
}

void RegisterClientResources() {
  // The application's name, which message boxes take as their caption: the
  // name of the program ("Tickora"), not of its file on this system.
  RegisterStringResource(AFX_IDS_APP_TITLE, L"Tickora");
  RegisterMainResources();
  RegisterSuspendResources();
}
