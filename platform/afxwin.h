// The application framework: window objects, dialogs, menus, drawing, message
// boxes and the application object. Include this one header.
#pragma once

#include "platform/cstring.h"
#include "platform/gdi.h"
#include "platform/msgbox.h"
#include "platform/object.h"
#include "platform/windef.h"
#include "platform/window.h"
#include "platform/window_resources.h"
#include "platform/window_types.h"
