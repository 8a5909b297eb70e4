// The toolkit's dialogs under a real window manager (openbox, on an X server
// of the test's own): a file chooser stands above its shown owner, and a
// message box whose owner is hidden stands above the active window, as the X
// server reports it (WM_TRANSIENT_FOR and the manager's stacking order).
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "platform/text/codepage.h"
#include "platform/window/afxwin.h"
#include "platform/window/filedialog.h"
#include "platform/window/gtk_probe.h"
#include "tests/support/chooser_home.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_manager.h"

// Last: the X headers behind it define names (None, Bool, Status) that other
// headers use.
#include <gdk/gdkx.h>

namespace {

using namespace std::chrono_literals;

constexpr UINT kOwnerTemplate = 800, kHiddenTemplate = 801;

// The X server, its window manager and the GTK backend, once for the whole
// program. The display, or empty with the reason in *why.
std::string OwnDesktop(std::string *why) {
  return testsupport::SharedDesktop(why, [] { return AfxSetBackend(BACKEND_GTK) != FALSE; });
}

unsigned long Xid(GtkWidget *w) {
  return w && gtk_widget_get_realized(w) ? GDK_WINDOW_XID(gtk_widget_get_window(w)) : 0;
}

class TransientGtk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    display_ = OwnDesktop(&why);
    ASSERT_FALSE(display_.empty()) << why;
    RegisterDialogTemplate(
        {kOwnerTemplate, 200, 120, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, L"owner", 9, {}});
    RegisterDialogTemplate({kHiddenTemplate, 100, 60, WS_POPUP | WS_SYSMENU, 0, L"hidden", 9, {}});
    ASSERT_TRUE(owner_.Create(kOwnerTemplate));
    ASSERT_TRUE(testsupport::SpinUntil(
        [&] {
          const unsigned long id = Xid(AfxGtkWidget(owner_.m_hWnd));
          const auto order = testsupport::StackingOrder(display_);
          return id && std::find(order.begin(), order.end(), id) != order.end();
        },
        20s))
        << "the owner window was not managed within 20 s";
  }
  void TearDown() override { owner_.DestroyWindow(); }

  // Answers the toolkit dialog `find` gives once the X server has it above
  // `above`; what the server said instead when it never did within 30 s.
  std::string WaitAboveThenAnswer(std::function<GtkWidget *()> find, GtkWidget *above, int response,
                                  const std::function<void()> &run) {
    std::string why = "the dialog did not open";
    testsupport::GtkAnswerer answer({.find = find,
                                     .answer =
                                         [&](GtkWidget *dialog) {
                                           why = testsupport::NotAbove(display_, Xid(dialog), Xid(above));
                                           if (!why.empty()) return false;
                                           gtk_dialog_response(GTK_DIALOG(dialog), response);
                                           return true;
                                         },
                                     .every = 100ms});
    run();
    return answer.timedOut() || answer.answers() == 0 ? why : std::string();
  }

  std::string display_;
  CDialog owner_;
};

TEST_F(TransientGtk, FileChooserStandsAboveItsOwner) {
  const testsupport::ChooserHome home;
  const testsupport::TempDir &dir = home.dir();
  FileChooserRequest request;
  request.kind = FileChooserRequest::OPEN;
  request.title = L"打开";
  request.folder = MultiByteToWide(CP_UTF8, dir.path());
  const std::string why = WaitAboveThenAnswer(
      [] { return testsupport::OpenToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG); }, AfxGtkWidget(owner_.m_hWnd),
      GTK_RESPONSE_CANCEL, [&] { EXPECT_FALSE(RunFileChooser(owner_.m_hWnd, request).has_value()); });
  EXPECT_EQ(why, "") << "the file chooser did not stand above its owner";
}

TEST_F(TransientGtk, MessageBoxOfAHiddenOwnerStandsAboveTheActiveWindow) {
  CDialog hidden;
  ASSERT_TRUE(hidden.Create(kHiddenTemplate));
  owner_.SetForegroundWindow();
  ASSERT_TRUE(
      testsupport::SpinUntil([&] { return gtk_window_is_active(GTK_WINDOW(AfxGtkWidget(owner_.m_hWnd))); }, 20s))
      << "the owner window did not become active within 20 s";
  const std::string why = WaitAboveThenAnswer(
      [] { return testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG); }, AfxGtkWidget(owner_.m_hWnd), GTK_RESPONSE_OK,
      [&] { EXPECT_EQ(::MessageBoxW(hidden.m_hWnd, L"q", L"t", MB_OK), IDOK); });
  EXPECT_EQ(why, "") << "the message box did not stand above the active window";
  hidden.DestroyWindow();
}

}  // namespace
