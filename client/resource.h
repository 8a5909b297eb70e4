// Resource, command and message ids of the program. The numbers are fixed:
// menus, dialogs and the tray icon refer to one another by them.
#pragma once

#include "platform/window/window_types.h"

// Dialogs, strings, the page, the icon and menus.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TICKORA_DIALOG 102
#define IDR_HTML_TICKORA_DIALOG 104
#define IDR_MAINFRAME 128
#define IDD_SUSPEND_DIALOG 129
#define IDB_SUSPEND_SKIN 130
#define IDB_SET_SKIN 134
#define IDR_MENU_FLOAT 135
#define IDR_MENU_TRAY 136
#define IDD_SET_DIALOG 137

// Controls of the floating window and the alarm panel.
#define IDC_PRICE_A 1002
#define IDC_PRICE_B 1003
#define IDC_TOTAL 1004
#define IDC_HASHRATE 1005
#define IDC_ALARM_A 1007
#define IDC_ALARM_B 1008

// Menu commands.
#define ID_MENU_EXIT 32771
#define ID_MENU_ALARM 32772
#define ID_MENU_TOPMOST 32773

// System-menu command that opens the About box.
#define IDM_ABOUTBOX 0x0010

// Callback message of the tray icon.
#define WM_TRAY_NOTIFY (WM_USER + 10)
