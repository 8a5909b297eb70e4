// The file choosers on a real X display (run under xvfb-run), answered from
// the main loop as a user would answer them.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <string>

#include "platform/text/codepage.h"
#include "platform/window/filedialog.h"
#include "platform/window/window.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scoped_env.h"

namespace {

// Answers the open file chooser with `response` for as long as it stays open.
//
// A chooser loads its folder asynchronously after it is shown. Until the
// folder is known, GTK drops an accepting response without a trace (the name
// cannot be resolved yet), and a save chooser answers an accepted response
// only after an asynchronous check of the target. So one response is not
// enough: the answerer waits until the chooser shows its folder, answers, and
// answers again every half second while the chooser stays open. If the chooser
// is still open at the deadline, it is hidden (which ends its modal run) and
// the answerer reports that it timed out.
class ChooserAnswerer {
 public:
  ChooserAnswerer(int response, std::chrono::milliseconds deadline = std::chrono::seconds(30))
      : response_(response), end_(std::chrono::steady_clock::now() + deadline) {
    source_ = g_timeout_add(50, &ChooserAnswerer::Tick, this);
  }
  ~ChooserAnswerer() { g_source_remove(source_); }
  ChooserAnswerer(const ChooserAnswerer &) = delete;
  ChooserAnswerer &operator=(const ChooserAnswerer &) = delete;

  bool timedOut() const { return timedOut_; }
  int answers() const { return answers_; }

 private:
  static GtkDialog *OpenChooser() {
    GtkDialog *found = nullptr;
    GList *windows = gtk_window_list_toplevels();
    for (GList *w = windows; w && !found; w = w->next) {
      if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
        found = GTK_DIALOG(w->data);
      }
    }
    g_list_free(windows);
    return found;
  }

  static gboolean Tick(gpointer self) {
    auto *me = static_cast<ChooserAnswerer *>(self);
    GtkDialog *chooser = OpenChooser();
    if (!chooser) return G_SOURCE_CONTINUE;
    const auto now = std::chrono::steady_clock::now();
    if (now > me->end_) {
      me->timedOut_ = true;
      gtk_widget_hide(GTK_WIDGET(chooser));  // ends gtk_dialog_run with no response
      return G_SOURCE_CONTINUE;
    }
    gchar *folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
    const bool ready = folder != nullptr;
    g_free(folder);
    if (ready && now >= me->nextAnswer_) {
      ++me->answers_;
      me->nextAnswer_ = now + std::chrono::milliseconds(500);
      gtk_dialog_response(chooser, me->response_);
    }
    return G_SOURCE_CONTINUE;
  }

  const int response_;
  const std::chrono::steady_clock::time_point end_;
  std::chrono::steady_clock::time_point nextAnswer_{};
  guint source_ = 0;
  int answers_ = 0;
  bool timedOut_ = false;
};

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

  {
    ChooserAnswerer cancel(GTK_RESPONSE_CANCEL);
    EXPECT_FALSE(RunFileChooser(nullptr, request).has_value());
    ASSERT_FALSE(cancel.timedOut()) << "the chooser to be cancelled stayed open for 30 s";
  }
  {
    ChooserAnswerer accept(GTK_RESPONSE_ACCEPT);
    const std::optional<std::wstring> chosen = RunFileChooser(nullptr, request);
    ASSERT_FALSE(accept.timedOut()) << "the chooser to be accepted stayed open for 30 s after " << accept.answers()
                                    << " answers";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, MultiByteToWide(CP_UTF8, dir.File("out.txt")));
  }
}

}  // namespace
