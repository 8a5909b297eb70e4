// The text, error, thread and module facilities of the platform layer.
#pragma once

#include "platform/bstr.h"
#include "platform/codepage.h"
#include "platform/cstring.h"
#include "platform/debug.h"
#include "platform/format.h"
#include "platform/module.h"
#include "platform/numeric.h"
#include "platform/threads.h"
#include "platform/wctype_win.h"
#include "platform/windef.h"
#include "platform/winerror.h"
