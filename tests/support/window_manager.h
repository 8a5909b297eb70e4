// A window manager on a test's own X server (openbox with its default
// configuration and key bindings), and what the X server says about the
// windows it manages, read with xprop as any other client would read it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class WindowManager {
 public:
  // Starts openbox on `display` and waits up to 20 s until it manages the
  // screen (it has set _NET_SUPPORTING_WM_CHECK on the root window).
  explicit WindowManager(const std::string &display);
  // Ends it (SIGTERM, then SIGKILL after 5 s).
  ~WindowManager();
  WindowManager(const WindowManager &) = delete;
  WindowManager &operator=(const WindowManager &) = delete;

  // Empty when it runs, else what went wrong.
  const std::string &error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string error_;
  std::string log_;  // its output
};

// The test program's own desktop: an X server and openbox on it, started on
// the first call and kept until the program ends (a toolkit holds its
// connection as long), with DISPLAY pointing at it; `startToolkit` then runs
// once and tells whether the program's toolkit started there. The display,
// or empty with the reason in *why.
std::string SharedDesktop(std::string *why, bool (*startToolkit)());

// The managed windows from bottom to top (_NET_CLIENT_LIST_STACKING); empty
// when the root window has no such list.
std::vector<unsigned long> StackingOrder(const std::string &display);
// The window's WM_TRANSIENT_FOR; 0 when it has none.
unsigned long TransientFor(const std::string &display, unsigned long window);
// The window's title (_NET_WM_NAME, UTF-8); empty when it has none.
std::string WindowTitle(const std::string &display, unsigned long window);
// Empty when the window stands above its owner as the X server has it
// (WM_TRANSIENT_FOR names the owner, and the window manager stacks it
// higher); else what the server says instead.
std::string NotAbove(const std::string &display, unsigned long window, unsigned long owner);

}  // namespace testsupport
