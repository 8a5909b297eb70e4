// Turns an HTML fragment into bulletin-board (UBB) code: [b], [i], [u],
// [url=...], [img], [color=...], [size=...], [code], [quote], [list], line
// breaks from BR, P and TR tags; every other tag is dropped and the common
// entities are decoded. Line ends of the input are not kept.
#pragma once

#include "platform/text/cstring.h"

// The UBB text of `html`; empty when the script engine that runs the
// conversion cannot be created. A failure inside the engine throws
// COleDispatchException (platform/system/scriptcontrol.h).
CString Html2Ubb(const CString &html);
