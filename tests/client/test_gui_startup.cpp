// The real program on an X display: it starts, shows its floating window in
// the bottom-right corner of the screen and its icon in a tray host, and keeps
// running; the icon's double click shows the main window and its menu's "退出"
// ends the program with code 0. The test runs its own X server, so windows of
// other suites running at the same time stay out of its screenshots. Installed
// into a prefix, the program runs from there.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/deadline.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_server.h"

extern char **environ;
namespace fs = std::filesystem;

namespace {

// A child process of this test, ended when the object goes.
class Child {
 public:
  Child(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv) {
    std::vector<char *> args, env;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char **e = environ; *e; ++e) envStrings.push_back(*e);  // earlier entries win
    for (const auto &e : envStrings) env.push_back(const_cast<char *>(e.c_str()));
    env.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], nullptr, nullptr, args.data(), env.data()) != 0) pid_ = -1;
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) testsupport::EndChild(pid_, std::chrono::seconds(2));
  }
  pid_t pid() const { return pid_; }
  bool Running() {
    if (reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
  }
  // The exit code once it ended by itself; -1 while it runs or after a signal.
  int ExitCode() {
    if (Running() || !WIFEXITED(status_)) return -1;
    return WEXITSTATUS(status_);
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

// Prefix of the X tools' command lines: a tool that gets no answer from the
// test's X server ends after 20 s instead of holding the test.
const std::string kBounded = "timeout -k 5 20 ";

std::string Output(const std::string &cmd) {
  std::string out;
  testsupport::RunCommand(cmd, &out);
  return out;
}

bool WaitFor(const std::function<bool()> &cond, int seconds) {
  return testsupport::WaitUntil(cond, std::chrono::seconds(seconds),
                                [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); });
}

struct Geometry {
  unsigned long id;
  int x, y, w, h;
};

// The mapped windows of a process, with their screen geometry.
std::vector<Geometry> VisibleWindows(const std::string &display, pid_t pid) {
  std::vector<Geometry> out;
  const std::string xdotool = "DISPLAY=" + display + " " + kBounded + "xdotool ";
  std::istringstream ids(Output(xdotool + "search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"));
  unsigned long id;
  while (ids >> id) {
    Geometry g{id, 0, 0, 0, 0};
    std::istringstream shell(Output(xdotool + "getwindowgeometry --shell " + std::to_string(id) + " 2>/dev/null"));
    std::string line;
    while (std::getline(shell, line)) {
      if (line.rfind("X=", 0) == 0) g.x = std::atoi(line.c_str() + 2);
      if (line.rfind("Y=", 0) == 0) g.y = std::atoi(line.c_str() + 2);
      if (line.rfind("WIDTH=", 0) == 0) g.w = std::atoi(line.c_str() + 6);
      if (line.rfind("HEIGHT=", 0) == 0) g.h = std::atoi(line.c_str() + 7);
    }
    out.push_back(g);
  }
  return out;
}

// A screenshot of the whole screen.
struct Shot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  unsigned Pixel(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2];
  }
};

Shot Screenshot(const std::string &display, const std::string &file) {
  Shot s;
  if (std::system(
          ("DISPLAY=" + display + " " + kBounded + "import -window root -depth 8 ppm:'" + file + "' 2>/dev/null")
              .c_str()) != 0)
    return s;
  std::ifstream in(file, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> s.width >> s.height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255) return Shot{};
  s.rgb.resize(static_cast<size_t>(s.width) * s.height * 3);
  in.read(reinterpret_cast<char *>(s.rgb.data()), static_cast<std::streamsize>(s.rgb.size()));
  return s;
}

// Pixels of the rectangle that differ from the same pixels of another shot,
// and the number of distinct colours in it.
void Compare(const Shot &now, const Shot &before, int x0, int y0, int w, int h, int *changed, size_t *colours) {
  std::set<unsigned> seen;
  *changed = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      seen.insert(now.Pixel(x, y));
      if (now.Pixel(x, y) != before.Pixel(x, y)) ++*changed;
    }
  *colours = seen.size();
}

// The floating window of a process: the size of its bitmap. Zero size when
// none showed within 30 s.
Geometry WaitForFloatingWindow(const std::string &display, pid_t pid) {
  Geometry floating{};
  WaitFor(
      [&] {
        for (const auto &g : VisibleWindows(display, pid))
          if (g.w == 105 && g.h == 118) {
            floating = g;
            return true;
          }
        return false;
      },
      30);
  return floating;
}

// Waits up to 20 s for the window's skin to be on the screen: most of its
// pixels changed from the screenshot before it, in many colours.
void WaitForSkin(const std::string &display, const Shot &before, const Geometry &window, const std::string &file,
                 int *changed, size_t *colours) {
  *changed = 0;
  *colours = 0;
  WaitFor(
      [&] {
        const Shot after = Screenshot(display, file);
        if (after.width != before.width || after.height != before.height) return false;
        Compare(after, before, window.x, window.y, window.w, window.h, changed, colours);
        return *changed > window.w * window.h / 2 && *colours > 8;
      },
      20);
}

// The contents of every autostart entry in a configuration folder.
std::string AutostartEntries(const std::string &configHome) {
  std::string entries;
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(configHome + "/autostart", ec))
    entries += testsupport::ReadFileBytes(e.path().string());
  return entries;
}

TEST(GuiStartup, ProgramShowsTheFloatingWindowBottomRightAndItsTrayIcon) {
  const std::string program = TICKORA_BINARY_DIR "/client/tickora";
  ASSERT_TRUE(fs::exists(program)) << "build the program first: " << program;

  testsupport::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const std::string &display = x.display();
  testsupport::TempDir home;
  const std::vector<std::string> env = {"DISPLAY=" + display, "XDG_CONFIG_HOME=" + home.path() + "/config",
                                        "XDG_CACHE_HOME=" + home.path() + "/cache",
                                        "XDG_DATA_HOME=" + home.path() + "/data", "HOME=" + home.path(),
                                        // No session bus, so the tray icon is an XEmbed one.
                                        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + home.path() + "/no-bus"};

  // A tray host in the top-right corner, away from the floating window and
  // from where the main window shows.
  Child tray(
      {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "64", "--heighttype", "pixel",
       "--height", "32", "--SetDockType", "false", "--SetPartialStrut", "false", "--transparent", "false"},
      env);
  ASSERT_GT(tray.pid(), 0);
  ASSERT_TRUE(WaitFor([&] { return !VisibleWindows(display, tray.pid()).empty(); }, 20)) << "trayer did not start";
  const Shot before = Screenshot(display, home.path() + "/before.ppm");
  ASSERT_GT(before.width, 0);

  // Every window mapped on the screen, as the X server reports it.
  const std::string mapLog = home.path() + "/maps.txt";
  // The shell takes the last of repeated variables, so the display is named.
  Child maps({"sh", "-c", "exec xev -display " + display + " -root -event substructure > '" + mapLog + "' 2>/dev/null"},
             env);
  ASSERT_GT(maps.pid(), 0);
  ASSERT_TRUE(WaitFor([&] { return fs::exists(mapLog); }, 10));

  Child app({program}, env);
  ASSERT_GT(app.pid(), 0);

  // The floating window: the size of its bitmap, in the bottom-right corner.
  const Geometry floating = WaitForFloatingWindow(display, app.pid());
  ASSERT_GT(floating.w, 0) << "no floating window appeared";
  EXPECT_EQ(floating.x + floating.w, before.width);
  EXPECT_EQ(floating.y + floating.h, before.height);

  // Its skin is on the screen: most of its pixels changed, in many colours.
  int changed = 0;
  size_t colours = 0;
  WaitForSkin(display, before, floating, home.path() + "/after.ppm", &changed, &colours);
  EXPECT_GT(changed, floating.w * floating.h / 2);
  EXPECT_GT(colours, 8u);

  // The tray icon: a window of the program inside the tray host's area, and
  // its picture drawn there.
  Geometry icon{};
  EXPECT_TRUE(WaitFor(
      [&] {
        for (const auto &g : VisibleWindows(display, app.pid()))
          if (g.x >= before.width - 64 && g.y < 32 && g.w <= 64 && g.h <= 32) {
            icon = g;
            return true;
          }
        return false;
      },
      20))
      << "no tray icon in the tray host";
  int trayChanged = 0;
  size_t trayColours = 0;
  WaitFor(
      [&] {
        const Shot now = Screenshot(display, home.path() + "/tray.ppm");
        if (now.width != before.width) return false;
        Compare(now, before, before.width - 64, 0, 64, 32, &trayChanged, &trayColours);
        return trayChanged > 100;
      },
      20);
  EXPECT_GT(trayChanged, 100) << "the tray host shows no icon";

  // It registered itself to start at log-on, in the temporary configuration,
  // under its name and with its icon.
  const std::string entries = AutostartEntries(home.path() + "/config");
  EXPECT_NE(entries.find("\nExec=\"" + fs::canonical(program).string() + "\"\n"), std::string::npos) << entries;
  EXPECT_NE(entries.find("\nName=Tickora\n"), std::string::npos) << entries;
  EXPECT_NE(entries.find("\nIcon=" + fs::canonical(program).parent_path().string() + "/tickora.png\n"),
            std::string::npos)
      << entries;

  // It keeps running.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(app.Running());
  if (icon.w == 0) return;

  // A double click on the icon shows the hidden main window, which was never
  // mapped before it: no flash at start.
  const std::string mappedBefore = testsupport::ReadFileBytes(mapLog);
  const std::string xdotool = "DISPLAY=" + display + " " + kBounded + "xdotool ";
  const std::string atIcon =
      "mousemove " + std::to_string(icon.x + icon.w / 2) + " " + std::to_string(icon.y + icon.h / 2) + " ";
  std::system((xdotool + atIcon + "click --repeat 2 --delay 60 1").c_str());
  Geometry mainWindow{};
  EXPECT_TRUE(WaitFor(
      [&] {
        for (const auto &g : VisibleWindows(display, app.pid()))
          if (g.w > 200 && g.h > 400) {  // the main window, 181 x 288 dialog units
            mainWindow = g;
            return true;
          }
        return false;
      },
      20))
      << "the double click did not show the main window";
  char mapped[64];
  std::snprintf(mapped, sizeof mapped, "window 0x%lx, override", mainWindow.id);
  EXPECT_EQ(mappedBefore.find(mapped), std::string::npos) << "the main window was on the screen before";
  // The log does see the map the double click made.
  if (mainWindow.id != 0) {
    EXPECT_TRUE(WaitFor([&] { return testsupport::ReadFileBytes(mapLog).find(mapped) != std::string::npos; }, 10))
        << mapped << " not in:\n"
        << testsupport::ReadFileBytes(mapLog);
  }

  // "退出" in the icon's right-button menu ends the program with code 0.
  std::set<unsigned long> shownBefore;
  for (const auto &g : VisibleWindows(display, app.pid())) shownBefore.insert(g.id);
  std::system((xdotool + atIcon + "click 3").c_str());
  Geometry menu{};
  ASSERT_TRUE(WaitFor(
      [&] {
        for (const auto &g : VisibleWindows(display, app.pid()))
          if (!shownBefore.count(g.id) && g.x >= 0 && g.y >= 0 && g.w > 20 && g.h > 10 && g.h < 100) {
            menu = g;
            return true;
          }
        return false;
      },
      20))
      << "no menu opened";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the menu takes the pointer first
  std::system((xdotool + "mousemove " + std::to_string(menu.x + menu.w / 2) + " " +
               std::to_string(menu.y + menu.h / 2) + " click 1")
                  .c_str());
  EXPECT_TRUE(WaitFor([&] { return !app.Running(); }, 20))
      << "the program did not end; menu at " << menu.x << "," << menu.y << " " << menu.w << "x" << menu.h;
  EXPECT_EQ(app.ExitCode(), 0);
}

// `cmake --install` into a prefix of the test's own puts the program in bin/,
// its resources in share/tickora/, a valid launcher and the icon where the
// desktop looks; the installed program finds its resources there, shows its
// floating window with its skin, and registers itself to start at log-on.
TEST(GuiStartup, InstalledProgramFindsItsResourcesInItsPrefix) {
  testsupport::TempDir home;
  const std::string prefix = home.path() + "/installed prefix";  // a space, to be quoted in the launcher
  const std::string install =
      "timeout -k 5 120 '" TICKORA_CMAKE_COMMAND "' --install '" TICKORA_BINARY_DIR "' --prefix '" + prefix + "' 2>&1";
  std::string output;
  int rc = testsupport::RunCommand(install, &output);
  ASSERT_EQ(rc, 0) << install << "\n" << output;

  const std::string program = prefix + "/bin/tickora";
  ASSERT_TRUE(fs::exists(program)) << output;
  EXPECT_FALSE(fs::exists(prefix + "/bin/tickora_dialog.html")) << "the resources belong under share/";
  for (const char *name : {"tickora_dialog.html", "tickora.png", "suspend_skin.bmp", "set_skin.bmp", "air.WAV"})
    EXPECT_TRUE(fs::exists(prefix + "/share/tickora/" + name)) << name << "\n" << output;
  EXPECT_TRUE(fs::exists(prefix + "/share/icons/hicolor/48x48/apps/tickora.png")) << output;

  const std::string launcher = prefix + "/share/applications/tickora.desktop";
  rc = testsupport::RunCommand("timeout -k 5 30 desktop-file-validate '" + launcher + "' 2>&1", &output);
  EXPECT_EQ(rc, 0) << output;
  EXPECT_EQ(output, "");
  const std::string entry = testsupport::ReadFileBytes(launcher);
  EXPECT_NE(entry.find("\nExec=\"" + program + "\"\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=tickora\n"), std::string::npos) << entry;

  testsupport::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const std::string &display = x.display();
  const std::vector<std::string> env = {"DISPLAY=" + display, "XDG_CONFIG_HOME=" + home.path() + "/config",
                                        "XDG_CACHE_HOME=" + home.path() + "/cache",
                                        "XDG_DATA_HOME=" + home.path() + "/data", "HOME=" + home.path()};
  const Shot before = Screenshot(display, home.path() + "/before.ppm");
  ASSERT_GT(before.width, 0);
  Child app({program}, env);
  ASSERT_GT(app.pid(), 0);
  const Geometry floating = WaitForFloatingWindow(display, app.pid());
  ASSERT_GT(floating.w, 0) << "the installed program showed no floating window";
  int changed = 0;
  size_t colours = 0;
  WaitForSkin(display, before, floating, home.path() + "/after.ppm", &changed, &colours);
  EXPECT_GT(changed, floating.w * floating.h / 2) << "the floating window has no skin: resources not found";
  EXPECT_GT(colours, 8u);

  // The log-on entry starts the installed program.
  const std::string entries = AutostartEntries(home.path() + "/config");
  EXPECT_NE(entries.find("\nExec=\"" + program + "\"\n"), std::string::npos) << entries;
  EXPECT_NE(entries.find("\nIcon=" + prefix + "/share/tickora/tickora.png\n"), std::string::npos) << entries;
  EXPECT_TRUE(app.Running());
}

}  // namespace
