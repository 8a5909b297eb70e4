#include "platform/system/mimetype.h"

#include <gio/gio.h>

#include "platform/text/codepage.h"

namespace platform {

std::wstring MimeTypeOfFileName(const std::wstring &fileName) {
  if (fileName.empty()) return std::wstring();
  const std::string name = WideToMultiByte(CP_UTF8, fileName);
  gchar *contentType = g_content_type_guess(name.c_str(), nullptr, 0, nullptr);
  gchar *mime = contentType ? g_content_type_get_mime_type(contentType) : nullptr;
  std::string type = mime ? mime : "";
  g_free(mime);
  g_free(contentType);
  // The database's answer for a name it does not know.
  if (type == "application/octet-stream") type.clear();
  return MultiByteToWide(CP_UTF8, type);
}

}  // namespace platform
