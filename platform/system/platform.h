// The text, error, thread and module facilities of the platform layer.
#pragma once

#include "platform/text/bstr.h"
#include "platform/text/codepage.h"
#include "platform/text/cstring.h"
#include "platform/text/debug.h"
#include "platform/text/format.h"
#include "platform/system/module.h"
#include "platform/text/numeric.h"
#include "platform/system/threads.h"
#include "platform/text/wctype_win.h"
#include "platform/text/windef.h"
#include "platform/text/winerror.h"
