// Registration of the program's resources (dialog templates, menus, strings,
// bitmaps, the icon and the page) with the window layer. Each window unit
// registers its own; the program and the tests call RegisterClientResources()
// once before any window exists (calling it again is harmless).
#pragma once

// All of the program's resources, the application's name among them.
void RegisterClientResources();

// The main window's: templates 100 and 102, string 101, page 104, icon 128,
// menu 136 (client/resources.cpp).
void RegisterMainResources();

// The floating window's and the alarm panel's: templates 129 and 137, menu
// 135, bitmaps 130 and 134 (client/suspenddlg.cpp).
void RegisterSuspendResources();
