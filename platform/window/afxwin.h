// The application framework: window objects, dialogs, menus, drawing, message
// boxes and the application object. Include this one header.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "platform/window/gdi.h"
#include "platform/window/msgbox.h"
#include "platform/window/object.h"
#include "platform/window/window.h"
#include "platform/window/window_resources.h"
#include "platform/window/window_types.h"
