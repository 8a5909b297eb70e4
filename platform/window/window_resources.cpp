// Registry of dialog templates, menus, strings and resource files.
#include <map>
#include <mutex>

#include "platform/system/module.h"
#include "platform/text/cstring.h"
#include "platform/window/window_resources.h"

namespace {

struct Resources {
  std::mutex mutex;
  std::map<UINT, DLGTEMPLATE_DESC> dialogs;
  std::map<UINT, std::vector<MENUITEM_DESC>> menus;
  std::map<UINT, std::wstring> strings;
  std::map<UINT, std::wstring> bitmaps, icons, pages;
  std::wstring folder;
};

// Never destroyed: worker threads may load strings while the process exits.
Resources &R() {
  static Resources *r = new Resources;
  return *r;
}

bool LookupString(UINT id, std::wstring &out) { return FindStringResource(id, out); }

void InstallStringHook() {
  static bool installed = false;
  if (!installed) {
    SetResourceStringLookup(&LookupString);
    installed = true;
  }
}

std::wstring FullPath(const std::map<UINT, std::wstring> &table, UINT id) {
  auto it = table.find(id);
  if (it == table.end()) return L"";
  if (!it->second.empty() && it->second[0] == L'/') return it->second;
  std::wstring folder = R().folder;
  if (folder.empty()) {
    wchar_t buf[4096];
    DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
    folder.assign(buf, n);
    size_t slash = folder.rfind(L'/');
    folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash);
  }
  if (!folder.empty() && folder.back() != L'/') folder += L'/';
  return folder + it->second;
}

}  // namespace

void RegisterDialogTemplate(const DLGTEMPLATE_DESC &t) {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().dialogs[t.id] = t;
}

void RegisterMenuResource(UINT id, std::vector<MENUITEM_DESC> topLevel) {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().menus[id] = std::move(topLevel);
}

void RegisterStringResource(UINT id, const wchar_t *text) {
  InstallStringHook();
  std::lock_guard<std::mutex> lock(R().mutex);
  R().strings[id] = text ? text : L"";
}

void RegisterBitmapResource(UINT id, const wchar_t *fileName) {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().bitmaps[id] = fileName ? fileName : L"";
}

void RegisterIconResource(UINT id, const wchar_t *fileName) {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().icons[id] = fileName ? fileName : L"";
}

void RegisterHtmlResource(UINT id, const wchar_t *fileName) {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().pages[id] = fileName ? fileName : L"";
}

void UnregisterAllResources() {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().dialogs.clear();
  R().menus.clear();
  R().strings.clear();
  R().bitmaps.clear();
  R().icons.clear();
  R().pages.clear();
  R().folder.clear();
}

void SetResourceFolder(const std::wstring &folder) {
  std::lock_guard<std::mutex> lock(R().mutex);
  R().folder = folder;
}

std::wstring GetResourceFolder() {
  std::lock_guard<std::mutex> lock(R().mutex);
  return R().folder;
}

// Pointers stay valid until the id is registered again or the table cleared.
const DLGTEMPLATE_DESC *FindDialogTemplate(UINT id) {
  std::lock_guard<std::mutex> lock(R().mutex);
  auto it = R().dialogs.find(id);
  return it == R().dialogs.end() ? nullptr : &it->second;
}

const std::vector<MENUITEM_DESC> *FindMenuResource(UINT id) {
  std::lock_guard<std::mutex> lock(R().mutex);
  auto it = R().menus.find(id);
  return it == R().menus.end() ? nullptr : &it->second;
}

bool FindStringResource(UINT id, std::wstring &text) {
  std::lock_guard<std::mutex> lock(R().mutex);
  auto it = R().strings.find(id);
  if (it == R().strings.end()) return false;
  text = it->second;
  return true;
}

std::wstring FindBitmapResourcePath(UINT id) {
  std::lock_guard<std::mutex> lock(R().mutex);
  return FullPath(R().bitmaps, id);
}

std::wstring FindIconResourcePath(UINT id) {
  std::lock_guard<std::mutex> lock(R().mutex);
  return FullPath(R().icons, id);
}

std::wstring FindHtmlResourcePath(UINT id) {
  std::lock_guard<std::mutex> lock(R().mutex);
  return FullPath(R().pages, id);
}

void GetDialogBaseUnits(int fontPointSize, int *baseX, int *baseY) {
  // Average character width and height of the dialog font at 96 dots per inch.
  if (fontPointSize <= 8) {
    *baseX = 6, *baseY = 13;
  } else {
    *baseX = 7, *baseY = 15;
  }
}

void MapDialogUnits(int fontPointSize, LPRECT rc) {
  int bx, by;
  GetDialogBaseUnits(fontPointSize, &bx, &by);
  rc->left = rc->left * bx / 4;
  rc->right = rc->right * bx / 4;
  rc->top = rc->top * by / 8;
  rc->bottom = rc->bottom * by / 8;
}
