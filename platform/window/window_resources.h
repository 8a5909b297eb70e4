// Registry of the program's resources: dialog templates, menus and strings are
// tables the application registers at start-up; bitmaps, icons and HTML pages
// are files in the resource folder (by default the program's own folder).
// Tests register their own resources the same way.
#pragma once

#include <string>
#include <vector>

#include "platform/window/window_types.h"

// Control classes a dialog template can hold.
enum DLGITEM_CLASS {
  DLGITEM_STATIC,  // static text (GtkLabel)
  DLGITEM_EDIT,    // single-line edit; ES_NUMBER accepts typed digits only
  DLGITEM_BUTTON,  // push button; a click sends WM_COMMAND (id, BN_CLICKED)
  DLGITEM_ICON,    // static icon (SS_ICON); text is ignored, iconId names the icon
};

// One control of a dialog template; position and size in dialog units.
struct DLGITEM_DESC {
  int id;
  DLGITEM_CLASS kind;
  const wchar_t *text;
  int x, y, cx, cy;
  DWORD style;  // WS_* and the class's own styles (ES_NUMBER, BS_DEFPUSHBUTTON, ...)
  UINT iconId = 0;
};

// A dialog template; size in dialog units, font point size for the base units.
struct DLGTEMPLATE_DESC {
  UINT id;
  int cx, cy;
  DWORD style;
  DWORD exStyle;
  const wchar_t *caption;
  int fontPointSize;  // 8 or 9 (font "MS Shell Dlg"); picks the dialog base units
  std::vector<DLGITEM_DESC> items;
};

// One menu item; a popup holds its items in `items`.
struct MENUITEM_DESC {
  const wchar_t *text;  // nullptr for a separator
  UINT id;              // command id; 0 for separators and popups
  std::vector<MENUITEM_DESC> items;
  bool popup = false;
  UINT flags = 0;  // MF_CHECKED, MF_GRAYED
};
inline MENUITEM_DESC MenuItem(const wchar_t *text, UINT id) { return {text, id, {}, false, 0}; }
inline MENUITEM_DESC MenuSeparator() { return {nullptr, 0, {}, false, 0}; }
inline MENUITEM_DESC MenuPopup(const wchar_t *text, std::vector<MENUITEM_DESC> items) {
  return {text, 0, std::move(items), true, 0};
}

// Registering an id again replaces the earlier entry.
void RegisterDialogTemplate(const DLGTEMPLATE_DESC &tmpl);
void RegisterMenuResource(UINT id, std::vector<MENUITEM_DESC> topLevel);
void RegisterStringResource(UINT id, const wchar_t *text);
void RegisterBitmapResource(UINT id, const wchar_t *fileName);  // 24-bit BMP
void RegisterIconResource(UINT id, const wchar_t *fileName);    // any image GdkPixbuf reads
void RegisterHtmlResource(UINT id, const wchar_t *fileName);
void UnregisterAllResources();

// Folder the resource file names are relative to (absolute names are used as
// they are). Default: the folder of the running executable.
void SetResourceFolder(const std::wstring &folder);
std::wstring GetResourceFolder();

const DLGTEMPLATE_DESC *FindDialogTemplate(UINT id);
const std::vector<MENUITEM_DESC> *FindMenuResource(UINT id);
// The string of the id; false when none is registered.
bool FindStringResource(UINT id, std::wstring &text);
// Full path of a registered file resource; empty when the id has none.
std::wstring FindBitmapResourcePath(UINT id);
std::wstring FindIconResourcePath(UINT id);
std::wstring FindHtmlResourcePath(UINT id);

// Dialog units to pixels for a font point size: x * baseX / 4, y * baseY / 8.
void GetDialogBaseUnits(int fontPointSize, int *baseX, int *baseY);
void MapDialogUnits(int fontPointSize, LPRECT rc);
