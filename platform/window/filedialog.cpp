#include "platform/window/filedialog.h"

#include <gtk/gtk.h>

#include "platform/text/codepage.h"
#include "platform/window/window_internal.h"

namespace {

std::function<std::optional<std::wstring>(const FileChooserRequest &)> &Handler() {
  static std::function<std::optional<std::wstring>(const FileChooserRequest &)> handler;
  return handler;
}

std::string Utf8(const std::wstring &text) { return WideToMultiByte(CP_UTF8, text); }

void AddFilters(GtkFileChooser *chooser, const FileChooserRequest &request) {
  for (const auto &[description, patterns] : request.filters) {
    GtkFileFilter *filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, Utf8(description).c_str());
    size_t start = 0;
    while (start <= patterns.size()) {
      const size_t end = std::min(patterns.find(L';', start), patterns.size());
      if (end > start) gtk_file_filter_add_pattern(filter, Utf8(patterns.substr(start, end - start)).c_str());
      start = end + 1;
    }
    gtk_file_chooser_add_filter(chooser, filter);  // takes the reference
  }
}

std::optional<std::wstring> RunGtkChooser(const FileChooserRequest &request) {
  const GtkFileChooserAction action = request.kind == FileChooserRequest::SAVE ? GTK_FILE_CHOOSER_ACTION_SAVE
                                      : request.kind == FileChooserRequest::FOLDER
                                          ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER
                                          : GTK_FILE_CHOOSER_ACTION_OPEN;
  GtkWidget *dialog = gtk_file_chooser_dialog_new(
      Utf8(request.title).c_str(), nullptr, action, "取消", GTK_RESPONSE_CANCEL,
      request.kind == FileChooserRequest::SAVE ? "保存" : "确定", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  AfxGtkStandAbove(GTK_WINDOW(dialog), request.transientFor);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, request.confirmOverwrite);
  AddFilters(chooser, request);
  if (!request.folder.empty()) gtk_file_chooser_set_current_folder(chooser, Utf8(request.folder).c_str());
  if (!request.name.empty()) {
    if (request.kind == FileChooserRequest::SAVE) {
      gtk_file_chooser_set_current_name(chooser, Utf8(request.name).c_str());
    } else {
      gtk_file_chooser_set_filename(chooser, Utf8(request.name).c_str());
    }
  }
  std::optional<std::wstring> chosen;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    if (gchar *name = gtk_file_chooser_get_filename(chooser)) {
      chosen = MultiByteToWide(CP_UTF8, std::string(name));
      g_free(name);
    }
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

// "Desc|*.a;*.b|Desc2|*.c||" as pairs; a trailing description without
// patterns is dropped.
std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(const std::wstring &filter) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start < filter.size()) {
    const size_t bar = std::min(filter.find(L'|', start), filter.size());
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (!parts[i].empty() || !parts[i + 1].empty()) pairs.emplace_back(parts[i], parts[i + 1]);
  }
  return pairs;
}

}  // namespace

std::optional<std::wstring> RunFileChooser(HWND owner, const FileChooserRequest &request) {
  FileChooserRequest shown = request;
  shown.transientFor = wl::TransientParent(wl::IsLive(owner) ? owner : nullptr);
  if (AfxGetBackend() == BACKEND_GTK) return RunGtkChooser(shown);
  return Handler() ? Handler()(shown) : std::nullopt;
}

void SetFileChooserHandler(std::function<std::optional<std::wstring>(const FileChooserRequest &)> handler) {
  Handler() = std::move(handler);
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt, LPCWSTR lpszFileName, DWORD dwFlags,
                         LPCWSTR lpszFilter, CWnd *pParentWnd, DWORD /*dwSize*/, BOOL /*bVistaStyle*/)
    : m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(lpszDefExt ? lpszDefExt : L""),
      m_strFileName(lpszFileName ? lpszFileName : L""),
      m_strFilter(lpszFilter ? lpszFilter : L""),
      m_pParentWnd(pParentWnd) {
  m_ofn.Flags = dwFlags;
  m_ofn.lpstrDefExt = m_strDefExt.empty() ? nullptr : m_strDefExt.c_str();
}

INT_PTR CFileDialog::DoModal() {
  FileChooserRequest request;
  request.kind = m_bOpenFileDialog ? FileChooserRequest::OPEN : FileChooserRequest::SAVE;
  request.title = m_bOpenFileDialog ? L"打开" : L"另存为";
  request.folder = m_ofn.lpstrInitialDir ? m_ofn.lpstrInitialDir : L"";
  request.name = m_strFileName;
  request.filters = ParseFilter(m_strFilter);
  request.confirmOverwrite = !m_bOpenFileDialog && (m_ofn.Flags & OFN_OVERWRITEPROMPT);
  std::optional<std::wstring> chosen =
      RunFileChooser(m_pParentWnd ? static_cast<HWND>(*m_pParentWnd) : nullptr, request);
  if (!chosen) return IDCANCEL;
  // A saved name without an extension gets the default one.
  const size_t slash = chosen->rfind(L'/');
  const bool hasExtension = chosen->find(L'.', slash == std::wstring::npos ? 0 : slash + 1) != std::wstring::npos;
  if (!m_bOpenFileDialog && !m_strDefExt.empty() && !hasExtension) *chosen += L"." + m_strDefExt;
  m_strPathName = chosen->c_str();
  return IDOK;
}
