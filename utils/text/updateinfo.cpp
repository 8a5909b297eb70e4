#include "utils/text/updateinfo.h"

#include <iterator>

namespace {

const wchar_t kNameLabel[] = L"\u3010name\u3011=";
const wchar_t kVersionLabel[] = L"\u3010version\u3011=";
const wchar_t kUrlLabel[] = L"\u3010download_url\u3011=";

struct Label {
  const wchar_t *text;
  int length;
  CString TUpdateInfo::*field;
  int at;
};

}  // namespace

TUpdateInfo ParseUpdateInfo(CString text) {
  text.Trim();
  Label labels[] = {
      {kNameLabel, static_cast<int>(std::size(kNameLabel) - 1), &TUpdateInfo::strProductName, -1},
      {kVersionLabel, static_cast<int>(std::size(kVersionLabel) - 1), &TUpdateInfo::strVersion, -1},
      {kUrlLabel, static_cast<int>(std::size(kUrlLabel) - 1), &TUpdateInfo::strDownloadUrl, -1},
  };
  for (Label &label : labels) label.at = text.Find(label.text);

  TUpdateInfo info;
  for (const Label &label : labels) {
    if (label.at < 0) continue;
    const int start = label.at + label.length;
    // The value ends one separator character before the nearest label that
    // starts after it.
    int end = text.GetLength();
    for (const Label &other : labels) {
      if (other.at > label.at && other.at - 1 < end) end = other.at - 1;
    }
    if (end > start) info.*label.field = text.Mid(start, end - start);
  }
  return info;
}
