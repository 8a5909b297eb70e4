// Registration of the program's resources (dialog templates, menus, strings,
// bitmaps, the icon and the page) with the window layer. Each window unit
// registers its own; the program and the tests call RegisterClientResources()
// once before any window exists (calling it again is harmless).
#pragma once

#include <string>

#include "platform/text/cstring.h"

// The program's icon file among its resources.
extern const wchar_t kProgramIconFile[];

// The folder that holds the program's resource files: the program's own
// folder when they lie next to it (the build folder), else the installed
// resource folder beside it (<prefix>/share/tickora for <prefix>/bin) when
// they lie there, else the program's own folder. No trailing separator.
std::wstring FindResourceFolder();

// The full path of a resource file: in the window layer's resource folder,
// or next to the program while none is set.
CString ResourceFilePath(const wchar_t *name);

// All of the program's resources, the application's name among them.
void RegisterClientResources();

// The main window's: templates 100 and 102, string 101, page 104, icon 128,
// menu 136 (client/resources.cpp).
void RegisterMainResources();

// The floating window's and the alarm panel's: templates 129 and 137, menu
// 135, bitmaps 130 and 134 (client/suspenddlg.cpp).
void RegisterSuspendResources();
