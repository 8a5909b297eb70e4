// Reading a short update description into its fields.
#pragma once

#include "platform/text/cstring.h"

struct TUpdateInfo {
  CString strProductName;
  CString strDownloadUrl;
  CString strVersion;
  CString strExtra;  // not filled by ParseUpdateInfo
};

// Reads a description of three labelled fields, each a label followed by
// its value, separated by one character (for example a line feed):
//   【name】=Tool
//   【version】=1.2.3
//   【download_url】=D:/pub/tool.exe
// The whole text is trimmed of white space first; values keep any white
// space inside them (a CR LF separator leaves the CR on the value before
// it). A value runs from its label to the character before the next label
// that follows it, or to the end of the text when none follows, so labels
// in another order still give their own values; a missing label gives an
// empty value.
TUpdateInfo ParseUpdateInfo(CString text);
