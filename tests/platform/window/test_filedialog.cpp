// The file choosers on a real X display (run under xvfb-run), answered from
// the main loop as a user would answer them.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "platform/text/codepage.h"
#include "platform/window/filedialog.h"
#include "platform/window/window.h"
#include "tests/support/chooser_home.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/temp_dir.h"

namespace {

// Answers the open file chooser with `response` for as long as it stays open.
//
// A chooser loads its folder asynchronously after it is shown. Until the
// folder is known, GTK drops an accepting response without a trace (the name
// cannot be resolved yet), and a save chooser answers an accepted response
// only after an asynchronous check of the target. So one response is not
// enough: the answerer waits until the chooser shows its folder, answers, and
// answers again every half second while the chooser stays open. If the chooser
// is still open after 30 s, it is hidden (which ends its modal run) and the
// answerer reports that it timed out.
testsupport::GtkAnswerer::Script AnswerChooser(int response) {
  return {.find = [] { return testsupport::OpenToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG); },
          .answer =
              [response](GtkWidget *chooser) {
                gchar *folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
                const bool ready = folder != nullptr;
                g_free(folder);
                if (ready) gtk_dialog_response(GTK_DIALOG(chooser), response);
                return ready;
              }};
}

TEST(FileChooserGtk, CancelAndAccept) {
  // The chooser keeps settings and recent files: keep them in the test's own folder.
  const testsupport::ChooserHome home;
  const testsupport::TempDir &dir = home.dir();
  if (!AfxSetBackend(BACKEND_GTK)) GTEST_SKIP() << "no X display";
  FileChooserRequest request;
  request.kind = FileChooserRequest::SAVE;
  request.title = L"另存为";
  request.folder = MultiByteToWide(CP_UTF8, dir.path());
  request.name = L"out.txt";
  request.filters = {{L"Text", L"*.txt"}};

  {
    testsupport::GtkAnswerer cancel(AnswerChooser(GTK_RESPONSE_CANCEL));
    EXPECT_FALSE(RunFileChooser(nullptr, request).has_value());
    ASSERT_FALSE(cancel.timedOut()) << "the chooser to be cancelled stayed open for 30 s";
  }
  {
    testsupport::GtkAnswerer accept(AnswerChooser(GTK_RESPONSE_ACCEPT));
    const std::optional<std::wstring> chosen = RunFileChooser(nullptr, request);
    ASSERT_FALSE(accept.timedOut()) << "the chooser to be accepted stayed open for 30 s after " << accept.answers()
                                    << " answers";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, MultiByteToWide(CP_UTF8, dir.File("out.txt")));
  }
}

}  // namespace
