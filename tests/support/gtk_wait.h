// Waiting inside the toolkit's main loop, always within a deadline: running
// the loop until something holds, and answering a window that a modal run
// waits for (a message box, a file chooser, a popup menu) as a user would.
// For suites that run the GTK backend; they link the window layer, and with
// it the toolkit.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>

#include "tests/support/deadline.h"

namespace testsupport {

// Runs the main loop until done() holds or `limit` has passed; true when
// done() held. Each step dispatches what is ready (at most a bounded number
// of sources, so a source that is always ready cannot starve the check).
inline bool SpinUntil(const std::function<bool()> &done, std::chrono::milliseconds limit) {
  return WaitUntil(done, limit, [] {
    for (int i = 0; i < 100 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
    g_usleep(1000);
  });
}

// Runs the main loop for `span` (lets the toolkit and the X server settle).
inline void SpinFor(std::chrono::milliseconds span) {
  SpinUntil([] { return false; }, span);
}

// The first visible top-level window of the type (GTK_TYPE_MESSAGE_DIALOG,
// ...) that `accept` takes, or null.
inline GtkWidget *OpenToplevel(GType type, const std::function<bool(GtkWidget *)> &accept = {}) {
  GtkWidget *found = nullptr;
  GList *windows = gtk_window_list_toplevels();
  for (GList *w = windows; w && !found; w = w->next) {
    GtkWidget *widget = GTK_WIDGET(w->data);
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type) && gtk_widget_get_visible(widget) && (!accept || accept(widget)))
      found = widget;
  }
  g_list_free(windows);
  return found;
}

// The popup menu on screen, or null.
inline GtkWidget *OpenPopupMenu() {
  GtkWidget *found = nullptr;
  GList *windows = gtk_window_list_toplevels();
  for (GList *w = windows; w && !found; w = w->next) {
    GtkWidget *child = GTK_IS_BIN(w->data) ? gtk_bin_get_child(GTK_BIN(w->data)) : nullptr;
    if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(child)) found = child;
  }
  g_list_free(windows);
  return found;
}

// Answers a window that a modal run waits for, from the main loop, and keeps
// answering it every `every` for as long as it stays open: a toolkit window
// may drop an answer that comes before it is ready (a file chooser before its
// folder is loaded), and answering once would leave the modal run waiting for
// ever. If the window is still open at the deadline, dismiss() ends it, so the
// modal run returns, and timedOut() tells the test.
class GtkAnswerer {
 public:
  struct Script {
    std::function<GtkWidget *()> find;        // the open window, or null
    std::function<bool(GtkWidget *)> answer;  // false: the window is not ready for an answer yet
    std::function<void(GtkWidget *)> dismiss = [](GtkWidget *w) { gtk_widget_hide(w); };
    std::chrono::milliseconds firstAfter{0};  // from construction: time the window stays open before the answer
    std::chrono::milliseconds every{500};
    std::chrono::milliseconds deadline{30000};  // from construction
  };

  explicit GtkAnswerer(Script script)
      : script_(std::move(script)),
        start_(std::chrono::steady_clock::now()),
        nextAnswer_(start_ + script_.firstAfter),
        source_(g_timeout_add(50, &GtkAnswerer::Tick, this)) {}
  ~GtkAnswerer() { g_source_remove(source_); }
  GtkAnswerer(const GtkAnswerer &) = delete;
  GtkAnswerer &operator=(const GtkAnswerer &) = delete;

  bool timedOut() const { return timedOut_; }
  int answers() const { return answers_; }

 private:
  static gboolean Tick(gpointer self) {
    auto *me = static_cast<GtkAnswerer *>(self);
    GtkWidget *window = me->script_.find();
    if (!window) return G_SOURCE_CONTINUE;
    const auto now = std::chrono::steady_clock::now();
    if (now > me->start_ + me->script_.deadline) {
      me->timedOut_ = true;
      me->script_.dismiss(window);
    } else if (now >= me->nextAnswer_ && me->script_.answer(window)) {
      ++me->answers_;
      me->nextAnswer_ = now + me->script_.every;
    }
    return G_SOURCE_CONTINUE;
  }

  const Script script_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point nextAnswer_;
  const guint source_;
  int answers_ = 0;
  bool timedOut_ = false;
};

// Ends a modal run that nothing else ended: unless destroyed before
// `deadline`, it calls end() from the main loop once, and expired() tells the
// test.
class MainLoopDeadline {
 public:
  MainLoopDeadline(std::chrono::milliseconds deadline, std::function<void()> end)
      : end_(std::move(end)), source_(g_timeout_add(static_cast<guint>(deadline.count()), &Expire, this)) {}
  ~MainLoopDeadline() {
    if (!expired_) g_source_remove(source_);
  }
  MainLoopDeadline(const MainLoopDeadline &) = delete;
  MainLoopDeadline &operator=(const MainLoopDeadline &) = delete;

  bool expired() const { return expired_; }

 private:
  static gboolean Expire(gpointer self) {
    auto *me = static_cast<MainLoopDeadline *>(self);
    me->expired_ = true;
    me->end_();
    return G_SOURCE_REMOVE;
  }

  const std::function<void()> end_;
  const guint source_;
  bool expired_ = false;
};

}  // namespace testsupport
