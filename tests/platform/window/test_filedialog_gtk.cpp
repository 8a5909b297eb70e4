// The file choosers on a real X display (run under xvfb-run), answered by
// pressing their buttons from the main loop.
#include "platform/window/filedialog.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "platform/text/codepage.h"
#include "platform/window/window.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scoped_env.h"

namespace {

// Answers the first open file chooser with `response` once it is shown.
void AnswerChooserWith(int response) {
  static int pending;
  pending = response;
  g_timeout_add(
      50,
      [](gpointer) -> gboolean {
        GList *windows = gtk_window_list_toplevels();
        bool answered = false;
        for (GList *w = windows; w && !answered; w = w->next) {
          if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
            gtk_dialog_response(GTK_DIALOG(w->data), pending);
            answered = true;
          }
        }
        g_list_free(windows);
        return answered ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
      },
      nullptr);
}

TEST(FileChooserGtk, CancelAndAccept) {
  // The chooser keeps settings and recent files: keep them in the test's own folder.
  testsupport::TempDir dir;
  testsupport::ScopedEnv settings("GSETTINGS_BACKEND", "memory");
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.path());
  testsupport::ScopedEnv data("XDG_DATA_HOME", dir.path());
  testsupport::ScopedEnv cache("XDG_CACHE_HOME", dir.path());
  if (!AfxSetBackend(BACKEND_GTK)) GTEST_SKIP() << "no X display";
  FileChooserRequest request;
  request.kind = FileChooserRequest::SAVE;
  request.title = L"另存为";
  request.folder = MultiByteToWide(CP_UTF8, dir.path());
  request.name = L"out.txt";
  request.filters = {{L"Text", L"*.txt"}};

  AnswerChooserWith(GTK_RESPONSE_CANCEL);
  EXPECT_FALSE(RunFileChooser(nullptr, request).has_value());

  AnswerChooserWith(GTK_RESPONSE_ACCEPT);
  const std::optional<std::wstring> chosen = RunFileChooser(nullptr, request);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, MultiByteToWide(CP_UTF8, dir.File("out.txt")));
}

}  // namespace
