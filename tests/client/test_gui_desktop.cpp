// The main window under a real window manager (openbox with its default key
// bindings, which take Alt+Space for their own window menu), on an X server
// of the test's own: Shift+F10 opens the window's system menu and its item
// the About box; the About box and the price alarm's message stand above
// their owners, as the X server reports it (WM_TRANSIENT_FOR and the
// manager's stacking order); and the page comes back with its figures when
// its web process is killed.
#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/setdlg.h"
#include "client/suspenddlg.h"
#include "client/tickora.h"
#include "client/tickoradlg.h"
#include "platform/text/codepage.h"
#include "platform/window/gtk_probe.h"
#include "platform/window/headless.h"
#include "tests/support/config_home.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_manager.h"

// Last: the X headers behind it define names (None, Bool, Status) that other
// headers use.
#include <gdk/gdkx.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The X server, its window manager and the GTK backend, started once for the
// whole program (the toolkit holds its connection until the program ends).
// The display, or empty with the reason in *why.
std::string OwnDesktop(std::string *why) {
  return testsupport::SharedDesktop(why, [] { return AfxSetBackend(BACKEND_GTK) != FALSE; });
}

void NoWorker(CTickoraDlg *) {}

void UseClientResources() {
  (void)&theApp;
  SetResourceFolder(MultiByteToWide(CP_UTF8, TICKORA_SOURCE_DIR "/client/res"));
  RegisterClientResources();
}

// The X window of a window of the layer; 0 while it has none.
unsigned long Xid(HWND h) {
  GtkWidget *w = AfxGtkWidget(h);
  return w && gtk_widget_get_realized(w) ? GDK_WINDOW_XID(gtk_widget_get_window(w)) : 0;
}
unsigned long Xid(GtkWidget *w) {
  return w && gtk_widget_get_realized(w) ? GDK_WINDOW_XID(gtk_widget_get_window(w)) : 0;
}

bool IsActive(HWND h) {
  GtkWidget *w = AfxGtkWidget(h);
  return w && gtk_window_is_active(GTK_WINDOW(w));
}

// The floating window the main window owns.
CSUSPENDDLG *FloatingWindow(HWND hMain) {
  for (HWND h : HeadlessTopLevelWindows())
    if (HeadlessGetWindow(h).owner == hMain)
      if (auto *f = dynamic_cast<CSUSPENDDLG *>(CWnd::FromHandlePermanent(h))) return f;
  return nullptr;
}

// A live top-level window with this title.
HWND WindowTitled(const std::wstring &title) {
  for (HWND h : HeadlessTopLevelWindows())
    if (HeadlessGetWindow(h).text == title) return h;
  return nullptr;
}

// Ends every modal run, innermost first as the loops unwind: message boxes,
// popup menus and the layer's dialogs.
void EndEverything() {
  if (GtkWidget *box = testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG))
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_DELETE_EVENT);
  if (GtkWidget *menu = testsupport::OpenPopupMenu()) gtk_menu_popdown(GTK_MENU(menu));
  for (HWND h : HeadlessTopLevelWindows())
    if (auto *d = dynamic_cast<CDialog *>(CWnd::FromHandlePermanent(h)); d && d->IsModal()) d->EndDialog(IDCANCEL);
}

// Steps run one after the other from the main loop, in whichever modal loop
// is running: each step's act() runs once, then its done() every 100 ms until
// it holds. A step that does not hold within its limit fails the test with
// its name and what done() last said, and every modal run is ended. A step
// must not open a modal run itself (the steps could not go on inside it): it
// posts the message or sends the input that opens one.
struct Step {
  std::string what;
  std::function<void()> act;
  std::function<bool(std::string &why)> done;
  std::chrono::seconds limit{20};
};

class Steps {
 public:
  explicit Steps(std::vector<Step> steps) : steps_(std::move(steps)), source_(g_timeout_add(100, &Steps::Tick, this)) {}
  ~Steps() { g_source_remove(source_); }
  Steps(const Steps &) = delete;
  Steps &operator=(const Steps &) = delete;

  bool finished() const { return next_ == steps_.size() && failure_.empty(); }
  const std::string &failure() const { return failure_; }
  // Called after every step's check; for watching the whole run.
  std::function<void()> watch;

 private:
  static gboolean Tick(gpointer self) {
    auto *me = static_cast<Steps *>(self);
    if (me->watch) me->watch();
    if (!me->failure_.empty() || me->next_ == me->steps_.size()) {
      EndEverything();  // until the outermost run has returned
      return G_SOURCE_CONTINUE;
    }
    Step &step = me->steps_[me->next_];
    if (!me->started_) {
      me->started_ = true;
      me->since_ = Clock::now();
      if (step.act) step.act();
    }
    std::string why;
    if (step.done(why)) {
      ++me->next_;
      me->started_ = false;
    } else if (Clock::now() - me->since_ > step.limit) {
      me->failure_ = step.what + ": not within " + std::to_string(step.limit.count()) + " s" +
                     (why.empty() ? std::string() : " (" + why + ")");
    }
    return G_SOURCE_CONTINUE;
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  bool started_ = false;
  Clock::time_point since_;
  std::string failure_;
  const guint source_;
};

// A step that holds at once: the last of a run, ending the main window.
Step EndRun(CDialog &dlg) {
  return {"the main window's run ends", [&dlg] { dlg.EndDialog(IDCANCEL); }, [](std::string &) { return true; }};
}

// The main window's first run ends hidden; the floating window shows.
Step RunStarted(CTickoraDlg &dlg) {
  return {"the main window starts with its floating window", nullptr, [&dlg](std::string &why) {
            CSUSPENDDLG *f = FloatingWindow(dlg.GetSafeHwnd());
            why = f ? "the floating window is not on the screen" : "no floating window";
            return g_nHidePaints == 0 && f && Xid(f->GetSafeHwnd()) && f->IsWindowVisible();
          }};
}

int Xdotool(const std::string &args) {
  return std::system(("DISPLAY=" + std::string(getenv("DISPLAY")) + " timeout -k 5 20 xdotool " + args).c_str());
}

class DesktopGui : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    display_ = OwnDesktop(&why);
    ASSERT_FALSE(display_.empty()) << why;
    UseClientResources();
    CTickoraDlg::SetWorkerStarter(&NoWorker);  // the network stays out
  }
  void TearDown() override { CTickoraDlg::SetWorkerStarter(nullptr); }

  std::string display_;
  ScopedConfigHome config_;
};

TEST_F(DesktopGui, ShiftF10OpensTheSystemMenuAndItsAboutBoxStandsAboveTheMainWindow) {
  CTickoraDlg dlg;
  HWND about = nullptr;
  std::vector<std::string> menuItems;
  Steps steps({
      RunStarted(dlg),
      {"the main window is shown and active",
       [&] {
         dlg.ShowWindow(SW_SHOW);
         dlg.SetForegroundWindow();
       },
       [&](std::string &) { return Xid(dlg.GetSafeHwnd()) && IsActive(dlg.GetSafeHwnd()); }},
      // A real key press through the X server, to the active window.
      {"Shift+F10 opens the main window's system menu", [] { Xdotool("key shift+F10"); },
       [&](std::string &) {
         GtkWidget *menu = testsupport::OpenPopupMenu();
         if (!menu) return false;
         menuItems.clear();
         GList *children = gtk_container_get_children(GTK_CONTAINER(menu));
         for (GList *c = children; c; c = c->next)
           if (GtkWidget *label = gtk_bin_get_child(GTK_BIN(c->data)); label && GTK_IS_LABEL(label))
             menuItems.push_back(gtk_label_get_label(GTK_LABEL(label)));
         g_list_free(children);
         return true;
       }},
      {"the item's mnemonic A opens the About box", [] { Xdotool("key a"); },
       [&](std::string &) {
         about = WindowTitled(L"关于 Tickora");
         return about && Xid(about) && IsWindowVisible(about);
       }},
      {"the About box stands above the main window", nullptr,
       [&](std::string &why) {
         why = testsupport::NotAbove(display_, Xid(about), Xid(dlg.GetSafeHwnd()));
         return why.empty();
       }},
      {"Enter in the About box ends it", [] { Xdotool("key Return"); },
       [&](std::string &) { return !IsWindow(about); }},
      EndRun(dlg),
  });
  dlg.DoModal();
  ASSERT_TRUE(steps.finished()) << steps.failure();
  ASSERT_FALSE(menuItems.empty());
  EXPECT_EQ(menuItems.back(), "关于 Tickora(_A)...");
}

TEST_F(DesktopGui, AlarmMessageStandsAboveTheFloatingWindowWithTheProgramsName) {
  CTickoraDlg dlg;
  CSUSPENDDLG *floating = nullptr;
  GtkWidget *box = nullptr;
  Steps steps({
      RunStarted(dlg),
      {"the floating window is active",
       [&] {
         floating = FloatingWindow(dlg.GetSafeHwnd());
         floating->SetForegroundWindow();
       },
       [&](std::string &) { return IsActive(floating->GetSafeHwnd()); }},
      // Price B above its threshold: timer 1 sounds the alarm.
      {"timer 1 opens the alarm message",
       [&] {
         floating->SendMessage(WM_COMMAND, ID_MENU_ALARM, 0);
         floating->m_pSetDlg->SetDlgItemText(IDC_ALARM_B, L"9000");
         {
           std::lock_guard<std::mutex> lock(GetQuoteLock());
           GetQuoteRecord().m_strPriceB = L"10000.5";
         }
         floating->PostMessage(WM_TIMER, CSUSPENDDLG::kRefreshTimer, 0);
       },
       [&](std::string &) {
         box = testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG);
         return Xid(box) != 0;
       }},
      {"the alarm message stands above the floating window, titled Tickora", nullptr,
       [&](std::string &why) {
         why = testsupport::NotAbove(display_, Xid(box), Xid(floating->GetSafeHwnd()));
         const std::string title = testsupport::WindowTitle(display_, Xid(box));
         if (why.empty() && title != "Tickora") why = "title \"" + title + "\"";
         return why.empty();
       }},
      {"the alarm message closes",
       [&] {
         floating->SendMessage(WM_COMMAND, ID_MENU_ALARM, 0);  // off: no second alarm
         gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
       },
       [&](std::string &) { return testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG) == nullptr; }},
      EndRun(dlg),
  });
  dlg.DoModal();
  ASSERT_TRUE(steps.finished()) << steps.failure();
}

// The web processes of this program: its children that WebKit started.
std::vector<pid_t> WebProcesses() {
  std::vector<pid_t> found;
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    const std::string comm = line.substr(line.find('(') + 1, close - line.find('(') - 1);
    char state = 0;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
    if (ppid == getpid() && comm.rfind("WebKitWebProces", 0) == 0 && state != 'Z') found.push_back(std::stoi(name));
  }
  return found;
}

// Counts the page's completions.
class PageDlg : public CTickoraDlg {
 public:
  int completions = 0;

 protected:
  void OnDocumentComplete(LPDISPATCH pDisp, LPCTSTR szUrl) override {
    CTickoraDlg::OnDocumentComplete(pDisp, szUrl);
    ++completions;
  }
};

// Reads texts of the page's elements by id, asynchronously: Query() asks,
// and last() is the answer to the latest question that came back.
class PageTexts {
 public:
  explicit PageTexts(std::string ids) : ids_(std::move(ids)) {}
  void Query(GtkWidget *view) {
    if (!view || *pending_) return;
    *pending_ = true;
    const std::string js = "JSON.stringify([" + ids_ +
                           "].map(function(i){var e=document.getElementById(i);"
                           "return e?e.textContent:null;}))";
    auto *state = new State{answer_, pending_};
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), js.c_str(), -1, nullptr, nullptr, nullptr, &Answered,
                                        state);
  }
  std::string last() const { return *answer_; }
  // Forgets the answers so far, and those of questions still under way.
  void Reset() {
    answer_ = std::make_shared<std::string>();
    pending_ = std::make_shared<bool>(false);
  }

 private:
  struct State {
    std::shared_ptr<std::string> answer;
    std::shared_ptr<bool> pending;
  };
  static void Answered(GObject *view, GAsyncResult *result, gpointer data) {
    std::unique_ptr<State> state(static_cast<State *>(data));
    *state->pending = false;
    if (JSCValue *v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr)) {
      gchar *text = jsc_value_to_string(v);
      *state->answer = text ? text : "";
      g_free(text);
      g_object_unref(v);
    }
  }

  std::string ids_;
  std::shared_ptr<std::string> answer_ = std::make_shared<std::string>();
  std::shared_ptr<bool> pending_ = std::make_shared<bool>(false);
};

TEST_F(DesktopGui, PageComesBackWithItsFiguresWhenItsWebProcessIsKilled) {
  PageDlg dlg;
  PageTexts texts("'last1','suanli','nettotal'");
  const std::string figures = "[\"3012.50\",\"12,345\",\"12150075\"]";
  int completionsBefore = 0;
  std::vector<pid_t> killed;
  Clock::time_point killedAt, backAt;
  bool boxSeen = false;
  Steps steps({
      RunStarted(dlg),
      {"the page completes", nullptr, [&](std::string &) { return dlg.completions >= 1; }},
      // The quote timer is stopped, so only the page's own recovery can put
      // the figures back after the kill.
      {"the quote timer writes the figures into the page",
       [&] {
         dlg.KillTimer(1);
         dlg.m_mapQuotes.Set(L"last1", L"3012.50");
         dlg.m_mapQuotes.Set(L"suanli", L"12,345");
         dlg.m_mapQuotes.Set(L"nettotal", L"12150075");
         dlg.SendMessage(WM_TIMER, 1, 0);
       },
       [&](std::string &why) {
         texts.Query(AfxGtkWebView(dlg.GetSafeHwnd()));
         why = "the page shows " + texts.last();
         return texts.last() == figures;
       }},
      {"the web process is killed",
       [&] {
         completionsBefore = dlg.completions;
         texts.Reset();
         killed = WebProcesses();
         for (pid_t pid : killed) kill(pid, SIGKILL);
         killedAt = Clock::now();
       },
       [&](std::string &why) {
         why = "no web process among this program's children";
         return !killed.empty();
       }},
      {"the page completes again", nullptr, [&](std::string &) { return dlg.completions > completionsBefore; }},
      {"the page shows the figures again", nullptr,
       [&](std::string &why) {
         texts.Query(AfxGtkWebView(dlg.GetSafeHwnd()));
         why = "the page shows " + texts.last();
         if (texts.last() != figures) return false;
         backAt = Clock::now();
         return true;
       }},
      EndRun(dlg),
  });
  steps.watch = [&] { boxSeen = boxSeen || testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG); };
  dlg.DoModal();
  ASSERT_TRUE(steps.finished()) << steps.failure();
  EXPECT_FALSE(boxSeen) << "the user was told of a recovery that succeeded";
  std::cout << "web process killed: " << killed.size() << "; page back with its figures after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(backAt - killedAt).count() << " ms\n";
}

// The page cannot be loaded again (its file is gone): the user is told, and
// the program goes on.
TEST_F(DesktopGui, FailedReloadAfterTheWebProcessEndsIsReported) {
  testsupport::TempDir res;
  for (const auto &f : std::filesystem::directory_iterator(TICKORA_SOURCE_DIR "/client/res"))
    std::filesystem::copy(f.path(), res.File(f.path().filename().string()));
  SetResourceFolder(MultiByteToWide(CP_UTF8, res.path()));
  PageDlg dlg;
  std::vector<pid_t> killed;
  GtkWidget *box = nullptr;
  std::string text;
  Steps steps({
      RunStarted(dlg),
      {"the page completes", nullptr, [&](std::string &) { return dlg.completions >= 1; }},
      {"the web process is killed with the page's file gone",
       [&] {
         std::filesystem::remove(res.File("tickora_dialog.html"));
         killed = WebProcesses();
         for (pid_t pid : killed) kill(pid, SIGKILL);
       },
       [&](std::string &why) {
         why = "no web process among this program's children";
         return !killed.empty();
       }},
      {"a message box tells the user", nullptr,
       [&](std::string &) {
         box = testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG);
         if (!box) return false;
         gchar *t = nullptr;
         g_object_get(box, "text", &t, nullptr);
         text = t ? t : "";
         g_free(t);
         return true;
       }},
      {"the message box closes", [&] { gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK); },
       [&](std::string &) { return testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG) == nullptr; }},
      {"the main window goes on", nullptr, [&](std::string &) { return IsWindow(dlg.GetSafeHwnd()) != FALSE; }},
      EndRun(dlg),
  });
  dlg.DoModal();
  ASSERT_TRUE(steps.finished()) << steps.failure();
  EXPECT_EQ(text, "网页进程意外结束，页面未能重新载入。");
}

}  // namespace
