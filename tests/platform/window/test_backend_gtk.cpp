// The GTK backend on a real X display (run under xvfb-run): windows placed at
// absolute positions, shaped, timers firing in the main loop and inside modal
// runs and message boxes, template controls as widgets, the browser dialog.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/window/dhtml.h"
#include "platform/window/gtk_probe.h"
#include "tests/support/gtk_wait.h"

namespace {

enum : UINT { IDD_BOX = 900, IDD_FORM = 901, IDD_PAGE = 902, IDR_PAGE = 903 };

// Runs the main loop until done() or the time is up.
bool Spin(const std::function<bool()> &done, int ms = 5000) {
  return testsupport::SpinUntil(done, std::chrono::milliseconds(ms));
}

class GtkWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { haveDisplay_ = AfxSetBackend(BACKEND_GTK); }
  void SetUp() override {
    if (!haveDisplay_) GTEST_SKIP() << "no X display";
    RegisterDialogTemplate({IDD_BOX, 70, 80, WS_POPUP | WS_SYSMENU, 0, nullptr, 8, {}});
    RegisterDialogTemplate({IDD_FORM,
                            160,
                            80,
                            WS_POPUP,
                            0,
                            nullptr,
                            8,
                            {{1001, DLGITEM_STATIC, L"0", 10, 10, 40, 8, SS_LEFT},
                             {1002, DLGITEM_EDIT, L"", 10, 30, 40, 12, ES_NUMBER | ES_AUTOHSCROLL},
                             {IDOK, DLGITEM_BUTTON, L"确定", 100, 60, 50, 14, 0}}});
  }
  static bool haveDisplay_;
};
bool GtkWindowTest::haveDisplay_ = false;

class Ticker : public CDialog {
 public:
  explicit Ticker(UINT id = IDD_BOX) : CDialog(id) {}
  int ticks = 0;
  int endAfter = 0;

 protected:
  void OnTimer(UINT_PTR id) {
    ++ticks;
    if (endAfter && ticks == endAfter) EndDialog(100 + (int)id);
    CDialog::OnTimer(id);
  }
  void OnPaint() {
    CPaintDC dc(this);
    dc.FillSolidRect(0, 0, 1000, 1000, RGB(200, 30, 30));
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Ticker, CDialog)
ON_WM_TIMER()
ON_WM_PAINT()
END_MESSAGE_MAP()

TEST_F(GtkWindowTest, WindowStandsWhereTheRecordSaysWithItsShape) {
  Ticker wnd;
  ASSERT_TRUE(wnd.Create(IDD_BOX));
  wnd.ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
  wnd.SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  wnd.MoveWindow(300, 200, 105, 118);
  HRGN rgn = CreateRectRgn(0, 0, 105, 118);
  HRGN hole = CreateRectRgn(0, 0, 1, 1);
  CombineRgn(rgn, rgn, hole, RGN_XOR);
  DeleteObject(hole);
  wnd.SetWindowRgn(rgn, TRUE);
  wnd.ShowWindow(SW_SHOW);
  GtkWidget *w = AfxGtkWidget(wnd.m_hWnd);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(Spin([&] { return gtk_widget_get_mapped(w); })) << "the window was not mapped within 5 s";
  GdkWindow *gw = gtk_widget_get_window(w);
  int x = 0, y = 0;
  ASSERT_TRUE(Spin([&] {
    gdk_window_get_origin(gw, &x, &y);
    return x == 300 && y == 200 && gdk_window_get_width(gw) == 105 && gdk_window_get_height(gw) == 118;
  })) << x
      << "," << y << " " << gdk_window_get_width(gw) << "x" << gdk_window_get_height(gw);
  EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(w)));
  EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(w)), GDK_WINDOW_TYPE_HINT_UTILITY);
  CRect r;
  wnd.GetWindowRect(&r);
  EXPECT_EQ(r, CRect(300, 200, 405, 318));
  wnd.ShowWindow(SW_HIDE);
  EXPECT_TRUE(Spin([&] { return !gtk_widget_get_mapped(w); })) << "the hidden window stayed mapped for 5 s";
}

TEST_F(GtkWindowTest, TimersFireInTheMainLoopAndEndAModalRun) {
  Ticker wnd;
  wnd.Create(IDD_BOX);
  wnd.SetTimer(1, 20, nullptr);
  EXPECT_TRUE(Spin([&] { return wnd.ticks >= 3; })) << "timer 1 fired " << wnd.ticks << " times in 5 s";
  wnd.KillTimer(1);
  int ticks = wnd.ticks;
  testsupport::SpinFor(std::chrono::milliseconds(100));
  EXPECT_EQ(wnd.ticks, ticks);
  wnd.DestroyWindow();

  // The modal loop runs timers; a window hidden at the loop's start is shown at its first idle.
  struct Modal : Ticker {
    BOOL OnInitDialog() override {
      SetTimer(7, 30, nullptr);
      return TRUE;
    }
  } modal;
  modal.endAfter = 2;
  testsupport::MainLoopDeadline deadline(std::chrono::seconds(20), [&] { modal.EndDialog(-2); });
  EXPECT_EQ(modal.DoModal(), 107);
  EXPECT_FALSE(deadline.expired()) << "timer 7 did not end the modal run within 20 s";
  EXPECT_EQ(modal.ticks, 2);
}

TEST_F(GtkWindowTest, MessageBoxBlocksWhileTimersFireAndGivesTheButton) {
  Ticker wnd;
  wnd.Create(IDD_BOX);
  wnd.SetTimer(2, 20, nullptr);
  testsupport::GtkAnswerer closer({.find = [] { return testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG); },
                                   .answer =
                                       [](GtkWidget *box) {
                                         gtk_dialog_response(GTK_DIALOG(box), IDCANCEL);
                                         return true;
                                       },
                                   .firstAfter = std::chrono::milliseconds(300),
                                   .every = std::chrono::milliseconds(300)});
  EXPECT_EQ(::MessageBoxW(nullptr, L"Tickora提醒", L"提示", MB_OKCANCEL), IDCANCEL);
  EXPECT_FALSE(closer.timedOut()) << "the message box stayed open for 30 s";
  EXPECT_GE(wnd.ticks, 5);
}

TEST_F(GtkWindowTest, TemplateControlsBecomeWidgetsAndFollowTheirTexts) {
  Ticker dlg(IDD_FORM);
  dlg.Create(IDD_FORM);
  dlg.ShowWindow(SW_SHOW);
  GtkWidget *label = AfxGtkWidget(dlg.GetDlgItem(1001)->m_hWnd);
  GtkWidget *edit = AfxGtkWidget(dlg.GetDlgItem(1002)->m_hWnd);
  ASSERT_TRUE(GTK_IS_LABEL(label));
  ASSERT_TRUE(GTK_IS_ENTRY(edit));
  dlg.SetDlgItemText(1001, L"3500.5");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "3500.5");
  // Typing letters into the number edit is refused; digits are taken.
  gint pos = 0;
  gtk_editable_insert_text(GTK_EDITABLE(edit), "9a", -1, &pos);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(edit)), "");
  pos = 0;
  gtk_editable_insert_text(GTK_EDITABLE(edit), "900", -1, &pos);
  CString text;
  dlg.GetDlgItemText(1002, text);
  EXPECT_EQ(text, L"900");
  // The button's click is the dialog's OK (a modeless dialog hides).
  gtk_button_clicked(GTK_BUTTON(AfxGtkWidget(dlg.GetDlgItem(IDOK)->m_hWnd)));
  EXPECT_FALSE(dlg.IsWindowVisible());
}

// Activates the popup's item with this label once the popup is on screen
// (again while the popup stays open; closes it after 30 s).
testsupport::GtkAnswerer::Script ChooseFromPopup(const char *label) {
  return {.find = testsupport::OpenPopupMenu,
          .answer =
              [label](GtkWidget *menu) {
                bool done = false;
                GList *items = gtk_container_get_children(GTK_CONTAINER(menu));
                for (GList *i = items; i && !done; i = i->next) {
                  GtkWidget *text = gtk_bin_get_child(GTK_BIN(i->data));
                  if (GTK_IS_LABEL(text) && g_strcmp0(gtk_label_get_text(GTK_LABEL(text)), label) == 0) {
                    gtk_menu_shell_activate_item(GTK_MENU_SHELL(menu), GTK_WIDGET(i->data), TRUE);
                    done = true;
                  }
                }
                g_list_free(items);
                return done;
              },
          .dismiss = [](GtkWidget *menu) { gtk_menu_popdown(GTK_MENU(menu)); }};
}

TEST_F(GtkWindowTest, PopupMenuWaitsForTheChoiceAndPostsItAsCommand) {
  struct Owner : Ticker {
    UINT command = 0;
    BOOL OnCommand(WPARAM w, LPARAM l) override {
      command = LOWORD(w);
      return CDialog::OnCommand(w, l);
    }
  } wnd;
  wnd.Create(IDD_BOX);
  wnd.ShowWindow(SW_SHOW);
  CMenu menu;
  menu.CreatePopupMenu();
  menu.AppendMenu(MF_STRING, 32771, L"退出");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_STRING | MF_CHECKED, 32772, L"警报(&W)");
  {
    testsupport::GtkAnswerer choose(ChooseFromPopup("警报(W)"));
    EXPECT_TRUE(menu.TrackPopupMenu(TPM_LEFTALIGN, 100, 100, &wnd));
    EXPECT_FALSE(choose.timedOut()) << "the popup menu stayed open for 30 s";
  }
  EXPECT_EQ(wnd.command, 0u);  // posted, not sent
  EXPECT_TRUE(Spin([&] { return wnd.command == 32772; })) << "the chosen command was not posted within 5 s";
  testsupport::GtkAnswerer choose(ChooseFromPopup("退出"));
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 100, 100, &wnd), 32771);
  EXPECT_FALSE(choose.timedOut()) << "the popup menu stayed open for 30 s";
}

TEST_F(GtkWindowTest, ButtonEventsArriveInTheOriginalOrderWithOneDoubleClick) {
  struct Clicks : Ticker {
    std::vector<UINT> seen;
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
      if (m >= WM_LBUTTONDOWN && m <= WM_RBUTTONDBLCLK) seen.push_back(m);
      return Ticker::WindowProc(m, w, l);
    }
  } wnd;
  wnd.Create(IDD_BOX);
  wnd.MoveWindow(50, 60, 100, 100);
  wnd.ShowWindow(SW_SHOW);
  GtkWidget *layout = gtk_bin_get_child(GTK_BIN(AfxGtkWidget(wnd.m_hWnd)));
  ASSERT_TRUE(Spin([&] { return gtk_widget_get_mapped(layout); })) << "the window was not mapped within 5 s";
  auto send = [&](GdkEventType type, guint32 time) {
    GdkEvent *e = gdk_event_new(type);
    e->button.window = GDK_WINDOW(g_object_ref(gtk_layout_get_bin_window(GTK_LAYOUT(layout))));
    e->button.button = 1;
    e->button.time = time;
    e->button.x = 10, e->button.y = 10, e->button.x_root = 60, e->button.y_root = 70;
    gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(e);
    gdk_event_free(e);
  };
  send(GDK_BUTTON_PRESS, 1000);
  send(GDK_BUTTON_RELEASE, 1050);
  send(GDK_BUTTON_PRESS, 1100);
  send(GDK_2BUTTON_PRESS, 1100);
  send(GDK_BUTTON_RELEASE, 1150);
  send(GDK_BUTTON_PRESS, 5000);  // long after: a new single press
  EXPECT_EQ(wnd.seen,
            (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_LBUTTONDOWN}));
}

class Page : public CDHtmlDialog {
 public:
  Page() : CDHtmlDialog(IDD_PAGE, IDR_PAGE) {}
  std::vector<std::wstring> completed;
  int clicks = 0;
  void OnDocumentComplete(LPDISPATCH d, LPCTSTR url) override {
    CDHtmlDialog::OnDocumentComplete(d, url);
    completed.push_back(url);
  }

 protected:
  HRESULT OnButtonOK(IHTMLElement *) {
    ++clicks;
    return S_OK;
  }
  DECLARE_DHTML_EVENT_MAP()
};
BEGIN_DHTML_EVENT_MAP(Page)
DHTML_EVENT_ONCLICK(L"ButtonOK", OnButtonOK)
END_DHTML_EVENT_MAP()

std::string RunScript(GtkWidget *view, const char *js) {
  struct Result {
    std::string text;
    bool done = false;
  };
  // Shared with the callback, which may still come after the wait gave up.
  auto result = std::make_shared<Result>();
  webkit_web_view_evaluate_javascript(
      WEBKIT_WEB_VIEW(view), js, -1, nullptr, nullptr, nullptr,
      [](GObject *src, GAsyncResult *res, gpointer p) {
        std::unique_ptr<std::shared_ptr<Result>> r(static_cast<std::shared_ptr<Result> *>(p));
        JSCValue *v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(src), res, nullptr);
        if (v) {
          gchar *s = jsc_value_to_string(v);
          (*r)->text = s;
          g_free(s);
          g_object_unref(v);
        }
        (*r)->done = true;
      },
      new std::shared_ptr<Result>(result));
  if (!Spin([&] { return result->done; }, 20000)) ADD_FAILURE() << "the page did not answer within 20 s: " << js;
  return result->text;
}

TEST_F(GtkWindowTest, BrowserLoadsThePageSetsTextsAndReportsClicks) {
  auto dir = std::filesystem::temp_directory_path() / ("tickora_gtk_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "page.htm") << "<html><body><span id=\"price\">--</span>"
                                     "<button id=\"ButtonOK\"><b>确定</b></button></body></html>";
  RegisterHtmlResource(IDR_PAGE, (dir / "page.htm").wstring().c_str());
  RegisterDialogTemplate({IDD_PAGE, 181, 100, WS_POPUP | WS_VISIBLE, 0, nullptr, 9, {}});
  Page dlg;
  ASSERT_TRUE(dlg.Create(IDD_PAGE));
  dlg.SetHostFlags(13);
  ASSERT_TRUE(Spin([&] { return !dlg.completed.empty(); }, 20000)) << "the page did not finish loading within 20 s";
  EXPECT_EQ(dlg.completed[0].substr(0, 8), L"file:///");
  BSTR text = SysAllocString(L"3500.5 \"元\"");
  dlg.SetElementText(L"price", text);
  dlg.SetElementText(L"absent", text);
  SysFreeString(text);
  GtkWidget *view = AfxGtkWebView(dlg.m_hWnd);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(RunScript(view, "document.getElementById('price').innerText"), "3500.5 \"元\"");
  EXPECT_EQ(RunScript(view, "getComputedStyle(document.body).overflow"), "hidden");
  // A click on a child of the button reaches the button's handler.
  RunScript(view, "document.querySelector('b').click(); 1");
  EXPECT_TRUE(Spin([&] { return dlg.clicks == 1; })) << "the click did not reach the handler within 5 s";
  // Navigation asked for on another thread is carried out on this one.
  std::thread([&] { dlg.Navigate((L"file://" + (dir / "page.htm").wstring() + L"?2").c_str()); }).join();
  EXPECT_TRUE(Spin([&] { return dlg.completed.size() == 2; }, 20000))
      << "the navigation asked for on another thread did not complete within 20 s";
  EXPECT_EQ(dlg.completed.back().substr(dlg.completed.back().size() - 2), L"?2");
  dlg.DestroyWindow();
  std::filesystem::remove_all(dir);
}

}  // namespace
