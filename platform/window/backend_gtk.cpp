// The GTK 3 backend on X11: undecorated GtkWindows mirroring the window
// records, a GtkLayout client area painted from the window's back buffer, GTK
// widgets for the template controls, g_timeout timers, nested main-loop
// iterations for modal runs and popups, GtkMessageDialog boxes, and a
// WebKitWebView for the browser dialog.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <cstdlib>
#include <map>

#include "platform/window/dhtml.h"
#include "platform/window/gtk_probe.h"
#include "platform/window/msgbox.h"
#include "platform/window/window_internal.h"

using namespace wl;

namespace {

struct GtkWin {
  GtkWidget *window = nullptr;  // top level
  GtkWidget *layout = nullptr;  // client area
  GtkWidget *webview = nullptr;
  bool typeHintSet = false;
  bool everShown = false;
  bool loadFailed = false;
  // The page's web process ended and the page is being loaded again.
  bool reloading = false;
  // Element texts set since the program last loaded a page, by id: what a
  // page loaded again after its web process ended shows again.
  std::map<std::wstring, std::wstring> pageTexts;
  POINT pendingMove{INT32_MIN, INT32_MIN};
};

struct GtkCtl {
  GtkWidget *widget = nullptr;
  GtkCssProvider *css = nullptr;
  bool settingText = false;
  bool pasting = false;
};

GtkWin *Win(HWND h) { return h && !h->isControl ? static_cast<GtkWin *>(h->backend) : nullptr; }
GtkCtl *Ctl(HWND h) { return h && h->isControl ? static_cast<GtkCtl *>(h->backend) : nullptr; }

std::string Json(const std::wstring &s) {
  std::string out = "\"";
  for (wchar_t c : s) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += (char)c;
    } else if (c < 0x20 || c == 0x2028 || c == 0x2029) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04x", (unsigned)c);
      out += buf;
    } else {
      out += ToUtf8(std::wstring(1, c));
    }
  }
  return out + "\"";
}

// "&File" -> "_File", "&&" -> "&", "_" -> "__"; text after a tab dropped.
std::string Mnemonic(const std::wstring &text) {
  std::wstring t = text.substr(0, text.find(L'\t'));
  std::wstring out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == L'&' && i + 1 < t.size() && t[i + 1] == L'&') {
      out += L'&';
      ++i;
    } else if (t[i] == L'&') {
      out += L'_';
    } else if (t[i] == L'_') {
      out += L"__";
    } else {
      out += t[i];
    }
  }
  return ToUtf8(out);
}

std::string CssColor(COLORREF c) {
  char buf[16];
  snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
  return buf;
}

UINT VirtualKey(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return VK_RETURN;
    case GDK_KEY_Escape:
      return VK_ESCAPE;
    case GDK_KEY_F4:
      return VK_F4;
    case GDK_KEY_space:
      return VK_SPACE;
    case GDK_KEY_F10:
      return VK_F10;
    case GDK_KEY_Menu:
      return VK_APPS;
    default:
      return 0;
  }
}

// Script that sets the text of the element with the id, if the page has one.
std::string SetTextScript(const std::wstring &id, const std::wstring &text) {
  return "(function(){var e=document.getElementById(" + Json(id) + ");if(e)e.innerText=" + Json(text) + ";})();";
}

struct TimerData {
  HWND h;
  UINT_PTR id;
  unsigned source;
};

class GtkBackend : public Backend {
 public:
  AFX_BACKEND Kind() const override { return BACKEND_GTK; }

  // ---------------------------------------------------------- windows

  void Created(HWND h) override {
    if (h->isControl)
      CreateControl(h);
    else
      CreateTopLevel(h);
  }

  void Destroyed(HWND h) override {
    if (GtkCtl *c = Ctl(h)) {
      if (c->css) g_object_unref(c->css);
      if (GTK_IS_WIDGET(c->widget)) gtk_widget_destroy(c->widget);
      delete c;
    } else if (GtkWin *w = Win(h)) {
      if (lastPressWindow_ == h) lastPressWindow_ = nullptr;
      if (hoverWindow_ == h) hoverWindow_ = nullptr;
      gtk_widget_destroy(w->window);
      delete w;
    }
    h->backend = nullptr;
  }

  void VisibilityChanged(HWND h) override {
    if (GtkCtl *c = Ctl(h)) {
      gtk_widget_set_visible(c->widget, h->visible);
      return;
    }
    GtkWin *w = Win(h);
    if (!w) return;
    if (h->visible) {
      ApplyStyles(h);
      gtk_window_move(GTK_WINDOW(w->window), h->rect.left, h->rect.top);
      if (!w->everShown) {
        gtk_widget_show_all(w->window);
        w->everShown = true;
        for (HWND c : h->children)
          if (GtkCtl *ctl = Ctl(c)) gtk_widget_set_visible(ctl->widget, c->visible);
      } else {
        gtk_widget_show(w->window);
        gtk_window_deiconify(GTK_WINDOW(w->window));
      }
      ApplyRegion(h);
      gtk_window_set_keep_above(GTK_WINDOW(w->window), KeepAbove(h));
    } else {
      gtk_widget_hide(w->window);
    }
  }

  void RectChanged(HWND h) override {
    int width = ClientWidth(h), height = ClientHeight(h);
    if (GtkCtl *c = Ctl(h)) {
      GtkWin *pw = Win(h->parent);
      if (pw) gtk_layout_move(GTK_LAYOUT(pw->layout), c->widget, h->rect.left, h->rect.top);
      gtk_widget_set_size_request(c->widget, width, height);
      return;
    }
    GtkWin *w = Win(h);
    if (!w) return;
    w->pendingMove = POINT{h->rect.left, h->rect.top};
    gtk_window_move(GTK_WINDOW(w->window), h->rect.left, h->rect.top);
    gtk_window_resize(GTK_WINDOW(w->window), std::max(1, width), std::max(1, height));
    // The window is not resizable, so its size is its content's request.
    gtk_widget_set_size_request(w->layout, std::max(1, width), std::max(1, height));
    gtk_layout_set_size(GTK_LAYOUT(w->layout), (guint)std::max(1, width), (guint)std::max(1, height));
    if (w->webview) gtk_widget_set_size_request(w->webview, std::max(1, width), std::max(1, height));
  }

  void TextChanged(HWND h) override {
    std::string text = ToUtf8(h->text);
    if (GtkWin *w = Win(h)) {
      gtk_window_set_title(GTK_WINDOW(w->window), text.c_str());
      return;
    }
    GtkCtl *c = Ctl(h);
    if (!c) return;
    if (GTK_IS_LABEL(c->widget)) {
      gtk_label_set_text(GTK_LABEL(c->widget), text.c_str());
    } else if (GTK_IS_ENTRY(c->widget)) {
      c->settingText = true;
      gtk_entry_set_text(GTK_ENTRY(c->widget), text.c_str());
      c->settingText = false;
    } else if (GTK_IS_BUTTON(c->widget)) {
      gtk_button_set_label(GTK_BUTTON(c->widget), Mnemonic(h->text).c_str());
    }
    ApplyLook(h);
  }

  void TopMostChanged(HWND h) override {
    if (GtkWin *w = Win(h)) gtk_window_set_keep_above(GTK_WINDOW(w->window), KeepAbove(h));
  }

  void StylesChanged(HWND h) override { ApplyStyles(h); }
  void RegionChanged(HWND h) override { ApplyRegion(h); }

  void IconChanged(HWND h) override {
    if (GtkWin *w = Win(h)) {
      GdkPixbuf *pb = AfxIconPixbuf(h->bigIcon ? h->bigIcon : h->smallIcon);
      gtk_window_set_icon(GTK_WINDOW(w->window), pb);
    } else if (GtkCtl *c = Ctl(h); c && GTK_IS_IMAGE(c->widget)) {
      gtk_image_set_from_pixbuf(GTK_IMAGE(c->widget), AfxIconPixbuf(h->ctrlIcon));
    }
  }

  void EnabledChanged(HWND h) override {
    if (GtkCtl *c = Ctl(h)) gtk_widget_set_sensitive(c->widget, h->enabled);
  }

  void Invalidated(HWND h) override {
    if (GtkWin *w = Win(h)) gtk_widget_queue_draw(w->layout);
  }

  void CursorChanged(HCURSOR cursor) override {
    GtkWin *w = Win(IsLive(hoverWindow_) ? hoverWindow_ : nullptr);
    if (!w || !gtk_widget_get_realized(w->layout)) return;
    GdkWindow *gw = gtk_layout_get_bin_window(GTK_LAYOUT(w->layout));
    GdkCursor *c = cursor ? gdk_cursor_new_from_name(gdk_window_get_display(gw), cursor->themeName.c_str()) : nullptr;
    gdk_window_set_cursor(gw, c);
    if (c) g_object_unref(c);
  }

  // ---------------------------------------------------------- timers and loops

  void TimerStarted(HWND h, Timer &t) override {
    auto *data = new TimerData{h, t.id, 0};
    t.source = g_timeout_add_full(G_PRIORITY_DEFAULT, t.period, &GtkBackend::OnTimeout, data,
                                  [](gpointer p) { delete static_cast<TimerData *>(p); });
    data->source = t.source;
  }

  void TimerStopped(HWND, Timer &t) override {
    if (t.source) g_source_remove(t.source);
    t.source = 0;
  }

  void RunModalLoop(ModalLoop &loop) override {
    g_idle_add_full(G_PRIORITY_LOW, &GtkBackend::OnModalIdle, &loop, nullptr);
    idlePending_.push_back(&loop);
    while (!*loop.ended) g_main_context_iteration(nullptr, TRUE);
    // The idle callback may not have run (the dialog ended first).
    if (std::find(idlePending_.begin(), idlePending_.end(), &loop) != idlePending_.end()) {
      g_idle_remove_by_data(&loop);
      idlePending_.erase(std::find(idlePending_.begin(), idlePending_.end(), &loop));
    }
  }

  int RunMessageLoop() override {
    quit_ = false;
    while (!quit_) g_main_context_iteration(nullptr, TRUE);
    return quitCode_;
  }

  void QuitMessageLoop(int code) override {
    quit_ = true;
    quitCode_ = code;
    g_main_context_wakeup(nullptr);
  }

  void Wake() override {
    if (!drainPending_.exchange(true)) g_idle_add(&GtkBackend::OnDrain, this);
    g_main_context_wakeup(nullptr);
  }

  // ---------------------------------------------------------- boxes and menus

  int MessageBox(HWND, HWND above, const std::wstring &text, const std::wstring &caption, UINT type) override {
    GtkMessageType icon = GTK_MESSAGE_OTHER;
    switch (type & MB_ICONMASK) {
      case MB_ICONHAND:
        icon = GTK_MESSAGE_ERROR;
        break;
      case MB_ICONQUESTION:
        icon = GTK_MESSAGE_QUESTION;
        break;
      case MB_ICONEXCLAMATION:
        icon = GTK_MESSAGE_WARNING;
        break;
      case MB_ICONASTERISK:
        icon = GTK_MESSAGE_INFO;
        break;
    }
    GtkWidget *box =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, icon, GTK_BUTTONS_NONE, "%s", ToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), ToUtf8(caption).c_str());
    AfxGtkStandAbove(GTK_WINDOW(box), above);
    struct Button {
      const char *label;
      int id;
    };
    std::vector<Button> buttons;
    switch (type & MB_TYPEMASK) {
      case MB_OKCANCEL:
        buttons = {{"确定", IDOK}, {"取消", IDCANCEL}};
        break;
      case MB_ABORTRETRYIGNORE:
        buttons = {{"中止(_A)", IDABORT}, {"重试(_R)", IDRETRY}, {"忽略(_I)", IDIGNORE}};
        break;
      case MB_YESNOCANCEL:
        buttons = {{"是(_Y)", IDYES}, {"否(_N)", IDNO}, {"取消", IDCANCEL}};
        break;
      case MB_YESNO:
        buttons = {{"是(_Y)", IDYES}, {"否(_N)", IDNO}};
        break;
      case MB_RETRYCANCEL:
        buttons = {{"重试(_R)", IDRETRY}, {"取消", IDCANCEL}};
        break;
      default:
        buttons = {{"确定", IDOK}};
    }
    bool hasCancel = false;
    for (const Button &b : buttons) {
      gtk_dialog_add_button(GTK_DIALOG(box), b.label, b.id);
      hasCancel = hasCancel || b.id == IDCANCEL;
    }
    gtk_dialog_set_default_response(GTK_DIALOG(box), buttons[0].id);
    int response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    if (response > 0) return response;
    // Closed by the window manager or Esc.
    if (hasCancel) return IDCANCEL;
    return buttons.size() == 1 ? IDOK : buttons.back().id;
  }

  UINT TrackPopup(HMENU menu, int x, int y, HWND owner) override {
    struct Run {
      UINT chosen = 0;
      bool done = false;
    } run;
    GtkWidget *gm = BuildMenu(menu, &run.chosen);
    // A chosen item is activated right after the menu deactivates, in the same
    // event dispatch, so the loop below sees both.
    g_signal_connect(gm, "deactivate",
                     G_CALLBACK(+[](GtkMenuShell *, gpointer p) { static_cast<Run *>(p)->done = true; }), &run);
    GdkWindow *root = gdk_get_default_root_window();
    GdkRectangle rect{x, y, 1, 1};
    GtkWin *w = Win(owner);
    if (w && gtk_widget_get_visible(w->window)) gtk_menu_set_screen(GTK_MENU(gm), gtk_widget_get_screen(w->window));
    gtk_widget_show_all(gm);
    // A popup asked for outside an input event (a posted message) uses the
    // last button event as its trigger.
    GdkEvent *current = gtk_get_current_event();
    gtk_menu_popup_at_rect(GTK_MENU(gm), root, &rect, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST,
                           current ? current : lastEvent_);
    if (current) gdk_event_free(current);
    if (!gtk_widget_get_visible(gm)) run.done = true;
    while (!run.done) g_main_context_iteration(nullptr, TRUE);
    g_signal_handlers_disconnect_by_data(gm, &run);
    gtk_widget_destroy(gm);
    return run.chosen;
  }

  // ---------------------------------------------------------- screen

  POINT CursorPos() override {
    GdkDisplay *d = gdk_display_get_default();
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(d));
    int px = 0, py = 0;
    gdk_device_get_position(pointer, nullptr, &px, &py);
    return POINT{px, py};
  }

  RECT WorkArea() override {
    GdkRectangle r;
    gdk_monitor_get_workarea(Monitor(), &r);
    return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
  }

  SIZE ScreenSize() override {
    GdkRectangle r;
    gdk_monitor_get_geometry(Monitor(), &r);
    return SIZE{r.width, r.height};
  }

  // A drag with the left button from the cursor's screen position, only while
  // the button is held: a drag asked for after the release (a posted message
  // delivered late) would wait for the next release and swallow the next press,
  // the second half of a double click.
  void BeginMoveDrag(HWND h, POINT pt) override {
    GtkWin *w = Win(h);
    if (!w || !h->visible || !gtk_widget_get_realized(w->window)) return;
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    GdkModifierType state = GdkModifierType(0);
    gdk_device_get_state(pointer, gtk_widget_get_window(w->window), nullptr, &state);
    if (!(state & GDK_BUTTON1_MASK)) return;
    const bool pressedHere = lastPressWindow_ == h && lastButton_ == 1;
    gtk_window_begin_move_drag(GTK_WINDOW(w->window), 1, pt.x, pt.y, pressedHere ? lastPressTime_ : GDK_CURRENT_TIME);
  }

  BOOL SetForeground(HWND h) override {
    GtkWin *w = Win(TopLevelOf(h));
    if (!w) return FALSE;
    gtk_window_present_with_time(GTK_WINDOW(w->window), GDK_CURRENT_TIME);
    return TRUE;
  }

  HWND Foreground() override {
    for (HWND h : LiveTopLevelWindows())
      if (GtkWin *w = Win(h); w && gtk_window_is_active(GTK_WINDOW(w->window))) return h;
    return nullptr;
  }

  BOOL Flash(HWND h) override {
    GtkWin *w = Win(TopLevelOf(h));
    if (!w) return FALSE;
    BOOL active = gtk_window_is_active(GTK_WINDOW(w->window));
    if (!active) gtk_window_set_urgency_hint(GTK_WINDOW(w->window), TRUE);
    return active;
  }

  // ---------------------------------------------------------- browser

  void BrowserCreate(HWND h, CDHtmlDialog *) override {
    GtkWin *w = Win(h);
    if (!w || w->webview) return;
    if (!context_) context_ = webkit_web_context_new_ephemeral();
    WebKitUserContentManager *ucm = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler(ucm, "dhtml");
    g_signal_connect(ucm, "script-message-received::dhtml", G_CALLBACK(&GtkBackend::OnScriptMessage), h);
    WebKitUserScript *script = webkit_user_script_new(
        "document.addEventListener('click',function(e){var n=e.target;while(n&&!n.id)n=n.parentElement;"
        "if(n)window.webkit.messageHandlers.dhtml.postMessage(n.id);},true);",
        WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, nullptr, nullptr);
    webkit_user_content_manager_add_script(ucm, script);
    webkit_user_script_unref(script);
    w->webview =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "user-content-manager", ucm, nullptr));
    g_object_unref(ucm);
    gtk_widget_set_size_request(w->webview, std::max(1, ClientWidth(h)), std::max(1, ClientHeight(h)));
    gtk_layout_put(GTK_LAYOUT(w->layout), w->webview, 0, 0);
    g_signal_connect(w->webview, "button-press-event", G_CALLBACK(&GtkBackend::OnBrowserPress), h);
    g_signal_connect(w->webview, "context-menu",
                     G_CALLBACK(+[](WebKitWebView *, WebKitContextMenu *, GdkEvent *, WebKitHitTestResult *,
                                    gpointer) -> gboolean { return TRUE; }),
                     nullptr);
    g_signal_connect(w->webview, "load-changed", G_CALLBACK(&GtkBackend::OnLoadChanged), h);
    g_signal_connect(w->webview, "web-process-terminated", G_CALLBACK(&GtkBackend::OnWebProcessTerminated), h);
    g_signal_connect(w->webview, "load-failed",
                     G_CALLBACK(+[](WebKitWebView *, WebKitLoadEvent, gchar *, GError *, gpointer p) -> gboolean {
                       if (GtkWin *gw = Win(static_cast<HWND>(p))) gw->loadFailed = true;
                       return FALSE;
                     }),
                     h);
  }

  void BrowserLoadFile(HWND h, const std::wstring &path) override {
    GtkWin *w = Win(h);
    if (!w || !w->webview) return;
    gchar *uri = g_filename_to_uri(ToUtf8(path).c_str(), nullptr, nullptr);
    if (uri) LoadPage(w, uri);
    g_free(uri);
  }

  void BrowserNavigate(HWND h, const std::wstring &url) override {
    GtkWin *w = Win(h);
    if (w && w->webview) LoadPage(w, ToUtf8(url).c_str());
  }

  void BrowserSetElementText(HWND h, const std::wstring &id, const std::wstring &text) override {
    GtkWin *w = Win(h);
    if (!w || !w->webview) return;
    w->pageTexts[id] = text;
    RunScript(w, SetTextScript(id, text));
  }

  void BrowserSetHostFlags(HWND h, DWORD flags) override {
    GtkWin *w = Win(h);
    if (!w || !w->webview) return;
    std::string css;
    if (flags & DOCHOSTUIFLAG_SCROLL_NO) css += "html,body{overflow:hidden!important;}";
    if (flags & DOCHOSTUIFLAG_DIALOG) css += "html,body{-webkit-user-select:none;user-select:none;}";
    if (flags & DOCHOSTUIFLAG_NO3DBORDER) css += "html,body{border:0!important;}";
    WebKitUserContentManager *ucm = webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(w->webview));
    webkit_user_content_manager_remove_all_style_sheets(ucm);
    if (css.empty()) return;
    WebKitUserStyleSheet *sheet = webkit_user_style_sheet_new(css.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                              WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(ucm, sheet);
    webkit_user_style_sheet_unref(sheet);
  }

 private:
  // A page the program asks for: the texts set on the page before do not
  // belong to it.
  static void LoadPage(GtkWin *w, const char *uri) {
    w->pageTexts.clear();
    w->reloading = false;
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(w->webview), uri);
  }

  static void RunScript(GtkWin *w, const std::string &js) {
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(w->webview), js.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
  }

  static GdkMonitor *Monitor() {
    GdkDisplay *d = gdk_display_get_default();
    GdkMonitor *m = gdk_display_get_primary_monitor(d);
    return m ? m : gdk_display_get_monitor(d, 0);
  }

  void CreateTopLevel(HWND h) {
    auto *w = new GtkWin;
    h->backend = w;
    w->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(w->window), (h->style & WS_CAPTION) == WS_CAPTION);
    gtk_window_set_resizable(GTK_WINDOW(w->window), FALSE);
    gtk_window_set_title(GTK_WINDOW(w->window), ToUtf8(h->text).c_str());
    w->layout = gtk_layout_new(nullptr, nullptr);
    gtk_widget_add_events(w->layout, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    gtk_container_add(GTK_CONTAINER(w->window), w->layout);
    g_signal_connect(w->layout, "draw", G_CALLBACK(&GtkBackend::OnDraw), h);
    g_signal_connect(w->layout, "button-press-event", G_CALLBACK(&GtkBackend::OnButton), h);
    g_signal_connect(w->layout, "button-release-event", G_CALLBACK(&GtkBackend::OnButton), h);
    g_signal_connect(w->layout, "motion-notify-event", G_CALLBACK(&GtkBackend::OnMotion), h);
    g_signal_connect(w->window, "key-press-event", G_CALLBACK(&GtkBackend::OnKey), h);
    g_signal_connect(w->window, "delete-event", G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                       Send(static_cast<HWND>(p), WM_SYSCOMMAND, SC_CLOSE, 0);
                       return TRUE;
                     }),
                     h);
    g_signal_connect(w->window, "configure-event", G_CALLBACK(&GtkBackend::OnConfigure), h);
    if (GtkWin *parent = Win(Above(h))) gtk_window_set_transient_for(GTK_WINDOW(w->window), GTK_WINDOW(parent->window));
    ApplyStyles(h);
    RectChanged(h);
  }

  void CreateControl(HWND c) {
    GtkWin *pw = Win(c->parent);
    if (!pw) return;
    auto *ctl = new GtkCtl;
    c->backend = ctl;
    std::string text = ToUtf8(c->text);
    switch (c->ctrlKind) {
      case DLGITEM_EDIT:
        ctl->widget = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(ctl->widget), 1);
        gtk_entry_set_text(GTK_ENTRY(ctl->widget), text.c_str());
        g_signal_connect(ctl->widget, "insert-text", G_CALLBACK(&GtkBackend::OnInsertText), c);
        g_signal_connect(ctl->widget, "paste-clipboard",
                         G_CALLBACK(+[](GtkEntry *, gpointer p) { Ctl(static_cast<HWND>(p))->pasting = true; }), c);
        g_signal_connect(ctl->widget, "changed", G_CALLBACK(&GtkBackend::OnEntryChanged), c);
        break;
      case DLGITEM_BUTTON:
        ctl->widget = gtk_button_new_with_mnemonic(Mnemonic(c->text).c_str());
        g_signal_connect(ctl->widget, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                           if (CButton *b = dynamic_cast<CButton *>(CWnd::FromHandle(static_cast<HWND>(p)))) b->Click();
                         }),
                         c);
        break;
      case DLGITEM_ICON:
        ctl->widget = gtk_image_new_from_pixbuf(AfxIconPixbuf(c->ctrlIcon));
        break;
      default:
        ctl->widget = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(ctl->widget), (c->style & SS_CENTER)  ? 0.5f
                                                     : (c->style & SS_RIGHT) ? 1.0f
                                                                             : 0.0f);
        gtk_label_set_yalign(GTK_LABEL(ctl->widget), 0.0f);
        break;
    }
    gtk_widget_set_sensitive(ctl->widget, c->enabled);
    gtk_layout_put(GTK_LAYOUT(pw->layout), ctl->widget, c->rect.left, c->rect.top);
    gtk_widget_set_size_request(ctl->widget, std::max(1, ClientWidth(c)), std::max(1, ClientHeight(c)));
    ApplyLook(c);
  }

  // Text colour and background from the parent's WM_CTLCOLOR answer.
  static void ApplyLook(HWND c) {
    GtkCtl *ctl = Ctl(c);
    if (!ctl || c->ctrlKind == DLGITEM_ICON) return;
    ControlLook look = QueryControlLook(c);
    // The dialog font's size; entries lose the theme's tall minimum so they
    // fit the template's rectangle.
    std::string css =
        "* { font-size: " + std::to_string(c->fontPointSize) + "pt; color: " + CssColor(look.textColor) + ";";
    if (c->ctrlKind == DLGITEM_EDIT) css += " min-height: 0; padding-top: 0; padding-bottom: 0;";
    if (c->ctrlKind != DLGITEM_EDIT && (look.nullBrush || look.transparentText))
      css += " background: transparent; background-image: none;";
    css += " }";
    if (!ctl->css) {
      ctl->css = gtk_css_provider_new();
      gtk_style_context_add_provider(gtk_widget_get_style_context(ctl->widget), GTK_STYLE_PROVIDER(ctl->css),
                                     GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    gtk_css_provider_load_from_data(ctl->css, css.c_str(), -1, nullptr);
  }

  // The live window a modal dialog stands above, or nullptr.
  static HWND Above(HWND h) { return IsLive(h->transientFor) ? h->transientFor : nullptr; }
  // Top-most, or standing above a top-most window.
  static bool KeepAbove(HWND h) { return h->topmost || (Above(h) && Above(h)->topmost); }

  static void ApplyStyles(HWND h) {
    GtkWin *w = Win(h);
    if (!w) return;
    bool tool = (h->exStyle & WS_EX_TOOLWINDOW) != 0;
    if (!gtk_widget_get_realized(w->window))
      gtk_window_set_type_hint(GTK_WINDOW(w->window), tool            ? GDK_WINDOW_TYPE_HINT_UTILITY
                                                      : Win(Above(h)) ? GDK_WINDOW_TYPE_HINT_DIALOG
                                                                      : GDK_WINDOW_TYPE_HINT_NORMAL);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(w->window), tool);
    gtk_window_set_skip_pager_hint(GTK_WINDOW(w->window), tool);
  }

  static void ApplyRegion(HWND h) {
    GtkWin *w = Win(h);
    if (!w) return;
    Region *r = h->region ? RegionOf(h->region) : nullptr;
    if (!gtk_widget_get_realized(w->window)) return;  // applied when shown
    gtk_widget_shape_combine_region(w->window, r ? r->region : nullptr);
    gtk_widget_input_shape_combine_region(w->window, r ? r->region : nullptr);
  }

  GtkWidget *BuildMenu(HMENU menu, UINT *chosen) {
    GtkWidget *gm = gtk_menu_new();
    for (size_t i = 0; i < menu->items.size(); ++i) {
      const auto &it = menu->items[i];
      GtkWidget *item;
      if (it.flags & MF_SEPARATOR) {
        item = gtk_separator_menu_item_new();
      } else {
        std::string label = Mnemonic(it.text);
        if (it.flags & MF_CHECKED) {
          item = gtk_check_menu_item_new_with_mnemonic(label.c_str());
          gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
        } else {
          item = gtk_menu_item_new_with_mnemonic(label.c_str());
        }
        if (menu->defaultItem == (int)i) {
          GtkWidget *child = gtk_bin_get_child(GTK_BIN(item));
          gchar *markup = g_markup_printf_escaped("<b>%s</b>", label.c_str());
          gtk_label_set_markup_with_mnemonic(GTK_LABEL(child), markup);
          g_free(markup);
        }
        gtk_widget_set_sensitive(item, !(it.flags & (MF_GRAYED | MF_DISABLED)));
        if (it.flags & MF_POPUP) {
          gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), BuildMenu(it.sub, chosen));
        } else {
          g_object_set_data(G_OBJECT(item), "tickora-id", GUINT_TO_POINTER((guint)it.id));
          g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem *mi, gpointer p) {
                             *static_cast<UINT *>(p) = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(mi), "tickora-id"));
                           }),
                           chosen);
        }
      }
      gtk_menu_shell_append(GTK_MENU_SHELL(gm), item);
    }
    return gm;
  }

  static GtkBackend *Self() { return static_cast<GtkBackend *>(CurrentBackend()); }

  static gboolean OnTimeout(gpointer p) {
    auto *d = static_cast<TimerData *>(p);
    if (!IsLive(d->h)) return G_SOURCE_REMOVE;
    auto it = d->h->timers.find(d->id);
    if (it == d->h->timers.end() || it->second.source != d->source) return G_SOURCE_REMOVE;
    FireTimer(d->h, d->id);
    return G_SOURCE_CONTINUE;
  }

  static gboolean OnModalIdle(gpointer p) {
    auto *loop = static_cast<ModalLoop *>(p);
    auto &pending = Self()->idlePending_;
    pending.erase(std::remove(pending.begin(), pending.end(), loop), pending.end());
    ModalIdle(*loop);
    return G_SOURCE_REMOVE;
  }

  static gboolean OnDrain(gpointer p) {
    auto *self = static_cast<GtkBackend *>(p);
    self->drainPending_ = false;
    while (DeliverOnePosted()) {
    }
    return G_SOURCE_REMOVE;
  }

  static gboolean OnDraw(GtkWidget *widget, cairo_t *cr, gpointer p) {
    HWND h = static_cast<HWND>(p);
    if (!IsLive(h) || !gtk_cairo_should_draw_window(cr, gtk_layout_get_bin_window(GTK_LAYOUT(widget)))) return FALSE;
    PaintWindow(h);
    const Image &img = h->backBuffer;
    if (img.width <= 0 || img.height <= 0) return FALSE;
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, img.width, img.height);
    unsigned char *data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    cairo_surface_flush(s);
    for (int y = 0; y < img.height; ++y) {
      auto *row = reinterpret_cast<uint32_t *>(data + (size_t)y * stride);
      for (int x = 0; x < img.width; ++x) {
        COLORREF c = img.At(x, y);
        row[x] = ((uint32_t)GetRValue(c) << 16) | ((uint32_t)GetGValue(c) << 8) | GetBValue(c);
      }
    }
    cairo_surface_mark_dirty(s);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(s);
    return FALSE;  // the controls draw on top
  }

  // Button events in the original system's order: a second press soon after
  // the first, near it, is itself the double click (down, up, double click,
  // up), so GTK's extra 2BUTTON_PRESS after it is dropped.
  static gboolean OnButton(GtkWidget *widget, GdkEventButton *e, gpointer p) {
    HWND h = static_cast<HWND>(p);
    GtkBackend *self = Self();
    if (e->type == GDK_2BUTTON_PRESS || e->type == GDK_3BUTTON_PRESS) return TRUE;
    if (e->button != 1 && e->button != 3) return FALSE;
    bool press = e->type == GDK_BUTTON_PRESS;
    bool left = e->button == 1;
    UINT msg = left ? (press ? WM_LBUTTONDOWN : WM_LBUTTONUP) : (press ? WM_RBUTTONDOWN : WM_RBUTTONUP);
    UINT keys = press ? (left ? MK_LBUTTON : MK_RBUTTON) : 0;
    if (press) {
      gint dblTime = 400, dblDistance = 5;
      g_object_get(gtk_widget_get_settings(widget), "gtk-double-click-time", &dblTime, "gtk-double-click-distance",
                   &dblDistance, nullptr);
      bool isDouble = !self->lastWasDouble_ && self->lastPressWindow_ == h && self->lastButton_ == e->button &&
                      e->time - self->lastPressTime_ <= (guint32)dblTime &&
                      std::abs(e->x_root - self->lastPressX_) <= dblDistance &&
                      std::abs(e->y_root - self->lastPressY_) <= dblDistance;
      if (isDouble) msg = left ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK;
      self->lastWasDouble_ = isDouble;
      self->lastButton_ = e->button;
      self->lastPressTime_ = e->time;
      self->lastPressWindow_ = h;
      self->lastPressX_ = e->x_root;
      self->lastPressY_ = e->y_root;
    }
    if (self->lastEvent_) gdk_event_free(self->lastEvent_);
    self->lastEvent_ = gdk_event_copy(reinterpret_cast<GdkEvent *>(e));
    MouseInput(h, msg, POINT{(LONG)e->x_root, (LONG)e->y_root}, keys);
    return TRUE;
  }

  static gboolean OnMotion(GtkWidget *, GdkEventMotion *e, gpointer p) {
    HWND h = static_cast<HWND>(p);
    Self()->hoverWindow_ = h;
    MouseInput(h, WM_MOUSEMOVE, POINT{(LONG)e->x_root, (LONG)e->y_root}, 0);
    return FALSE;
  }

  static gboolean OnKey(GtkWidget *, GdkEventKey *e, gpointer p) {
    UINT vk = VirtualKey(e->keyval);
    if (!vk) return FALSE;
    return KeyInput(static_cast<HWND>(p), vk, (e->state & GDK_MOD1_MASK) != 0, (e->state & GDK_SHIFT_MASK) != 0);
  }

  static gboolean OnConfigure(GtkWidget *widget, GdkEventConfigure *, gpointer p) {
    HWND h = static_cast<HWND>(p);
    GtkWin *w = Win(h);
    if (!IsLive(h) || !w) return FALSE;
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(widget), &x, &y);
    if (w->pendingMove.x != INT32_MIN) {
      if (x == w->pendingMove.x && y == w->pendingMove.y) w->pendingMove = POINT{INT32_MIN, INT32_MIN};
      return FALSE;
    }
    // Moved by the window manager (a drag): the record follows.
    OffsetRect(&h->rect, x - h->rect.left, y - h->rect.top);
    return FALSE;
  }

  static void OnInsertText(GtkEditable *editable, gchar *text, gint length, gint *, gpointer p) {
    HWND c = static_cast<HWND>(p);
    GtkCtl *ctl = Ctl(c);
    if (!ctl || ctl->settingText) return;
    if (ctl->pasting) {  // pasted text is taken as it is
      ctl->pasting = false;
      return;
    }
    if (!(c->style & ES_NUMBER)) return;
    std::string s(text, length < 0 ? strlen(text) : (size_t)length);
    if (!IsDigitsOnly(FromUtf8(s))) {
      g_signal_stop_emission_by_name(editable, "insert-text");
      gtk_widget_error_bell(GTK_WIDGET(editable));
    }
  }

  static void OnEntryChanged(GtkEditable *editable, gpointer p) {
    HWND c = static_cast<HWND>(p);
    GtkCtl *ctl = Ctl(c);
    if (!ctl || ctl->settingText || !IsLive(c)) return;
    c->text = FromUtf8(gtk_entry_get_text(GTK_ENTRY(editable)));
    if (c->parent) Send(c->parent, WM_COMMAND, MAKELONG(c->ctrlId, EN_CHANGE), (LPARAM)c);
  }

  static void OnScriptMessage(WebKitUserContentManager *, WebKitJavascriptResult *result, gpointer p) {
    HWND h = static_cast<HWND>(p);
    if (!IsLive(h) || !h->browser) return;
    JSCValue *v = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(v)) return;
    gchar *id = jsc_value_to_string(v);
    std::wstring wid = FromUtf8(id);
    g_free(id);
    h->browser->DispatchElementEvent(DISPID_HTMLELEMENTEVENTS_ONCLICK, wid.c_str());
  }

  static gboolean OnBrowserPress(GtkWidget *, GdkEventButton *e, gpointer p) {
    HWND h = static_cast<HWND>(p);
    if (!IsLive(h) || !h->browser || e->button != 3) return FALSE;
    if (e->type != GDK_BUTTON_PRESS && e->type != GDK_2BUTTON_PRESS) return FALSE;
    UINT msg = e->type == GDK_2BUTTON_PRESS ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
    return h->browser->FilterBrowserMouseMessage(msg, POINT{(LONG)e->x_root, (LONG)e->y_root});
  }

  // The page's web process ended (a crash, the out-of-memory killer, a
  // signal): the page is loaded again, showing the texts the program had set
  // on it. The user hears of it only when that load fails, or when the
  // process ends again before the page is back.
  static void OnWebProcessTerminated(WebKitWebView *view, WebKitWebProcessTerminationReason reason, gpointer p) {
    HWND h = static_cast<HWND>(p);
    GtkWin *w = Win(h);
    if (!IsLive(h) || !w || reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
    if (!webkit_web_view_get_uri(view)) return;  // no page to load again
    if (w->reloading) {
      w->reloading = false;
      ReportPageLost(h);
      return;
    }
    w->reloading = true;
    webkit_web_view_reload(view);
  }

  static void ReportPageLost(HWND h) {
    PostFunction([h] {
      if (IsLive(h))
        ::MessageBoxW(h, L"网页进程意外结束，页面未能重新载入。", AfxGetAppName(), MB_OK | MB_ICONEXCLAMATION);
    });
  }

  static void OnLoadChanged(WebKitWebView *view, WebKitLoadEvent event, gpointer p) {
    HWND h = static_cast<HWND>(p);
    GtkWin *w = Win(h);
    if (!IsLive(h) || !w) return;
    if (event == WEBKIT_LOAD_STARTED) w->loadFailed = false;
    if (event != WEBKIT_LOAD_FINISHED) return;
    if (w->reloading) {
      w->reloading = false;
      if (w->loadFailed) {
        ReportPageLost(h);
        return;
      }
      std::string js;
      for (const auto &[id, text] : w->pageTexts) js += SetTextScript(id, text);
      if (!js.empty()) RunScript(w, js);
    }
    if (w->loadFailed || !h->browser) return;
    const gchar *uri = webkit_web_view_get_uri(view);
    std::wstring url = FromUtf8(uri ? uri : "");
    h->browser->DispatchDocumentComplete(url.c_str());
  }

  bool quit_ = false;
  int quitCode_ = 0;
  std::atomic<bool> drainPending_{false};
  std::vector<ModalLoop *> idlePending_;
  WebKitWebContext *context_ = nullptr;
  guint lastButton_ = 0;
  guint32 lastPressTime_ = 0;
  HWND lastPressWindow_ = nullptr;
  HWND hoverWindow_ = nullptr;
  GdkEvent *lastEvent_ = nullptr;
  bool lastWasDouble_ = false;
  double lastPressX_ = 0, lastPressY_ = 0;
};

}  // namespace

namespace wl {

std::unique_ptr<Backend> MakeGtkBackend() {
  static bool initialised = false;
  if (!initialised) {
    // The floating window needs absolute positions and keep-above: X11 only.
    setenv("GDK_BACKEND", "x11", 1);
    if (!gtk_init_check(nullptr, nullptr)) return nullptr;
    initialised = true;
  }
  return std::make_unique<GtkBackend>();
}

}  // namespace wl

GdkPixbuf *AfxIconPixbuf(HICON icon) {
  if (!icon) return nullptr;
  if (icon->pixbuf) return icon->pixbuf;
  if (!icon->path.empty()) {
    icon->pixbuf = gdk_pixbuf_new_from_file(ToUtf8(icon->path).c_str(), nullptr);
  } else if (!icon->themeName.empty() && gdk_display_get_default()) {
    icon->pixbuf = gtk_icon_theme_load_icon(gtk_icon_theme_get_default(), icon->themeName.c_str(), 32,
                                            GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
  }
  return icon->pixbuf;
}

// A toolkit dialog (message box, file chooser) that stands above a window is transient for it, so the window manager
// keeps it above and places it over it; above a top-most window it is top-most too, and with nothing to stand above it
// is kept above all, so it is never lost behind other programs' windows.
void AfxGtkStandAbove(GtkWindow *window, HWND above) {
  GtkWin *parent = Win(IsLive(above) ? above : nullptr);
  if (!parent) {
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(window, TRUE);
    return;
  }
  gtk_window_set_transient_for(window, GTK_WINDOW(parent->window));
  gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
  if (!gtk_widget_get_realized(GTK_WIDGET(window))) gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_keep_above(window, above->topmost);
}

GtkWidget *AfxGtkWidget(HWND h) {
  if (AfxGetBackend() != BACKEND_GTK || !IsLive(h)) return nullptr;
  if (GtkCtl *c = Ctl(h)) return c->widget;
  GtkWin *w = Win(h);
  return w ? w->window : nullptr;
}

GtkWidget *AfxGtkWebView(HWND h) {
  GtkWin *w = AfxGetBackend() == BACKEND_GTK && IsLive(h) ? Win(h) : nullptr;
  return w ? w->webview : nullptr;
}
