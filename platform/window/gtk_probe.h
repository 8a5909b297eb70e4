// Test interface of the GTK backend: the toolkit widgets behind windows, so a
// test on a real display can check what the screen shows. Only the widget
// type is named here; a test that uses the widgets includes the toolkit's
// headers and links the toolkit itself.
#pragma once

#include "platform/text/windef.h"

typedef struct _GtkWidget GtkWidget;

// The GtkWindow of a top-level window or the widget of a control; nullptr
// under another backend or for a handle that is no live window.
GtkWidget *AfxGtkWidget(HWND h);
// The WebKitWebView of a browser dialog; nullptr otherwise.
GtkWidget *AfxGtkWebView(HWND h);
