#include "platform/system/registry.h"

#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/codepage.h"
#include "tests/support/child_files.h"
#include "tests/support/command.h"
#include "tests/support/config_home.h"

namespace fs = std::filesystem;

namespace {

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string ReadFile(const fs::path &p) { return testsupport::ReadFileBytes(p.string()); }

std::vector<fs::path> Entries(const fs::path &dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(dir, ec)) out.push_back(e.path());
  return out;
}

LONG SetString(HKEY key, LPCWSTR name, const std::wstring &text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

std::wstring QueryString(HKEY key, LPCWSTR name, LONG *rc_out = nullptr) {
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  std::wstring text;
  if (rc == ERROR_SUCCESS) {
    std::vector<BYTE> buf(size);
    rc = RegQueryValueExW(key, name, nullptr, &type, buf.data(), &size);
    if (rc == ERROR_SUCCESS) text = reinterpret_cast<const wchar_t *>(buf.data());
  }
  if (rc_out) *rc_out = rc;
  return text;
}

class RegistryTest : public ::testing::Test {
 protected:
  ScopedConfigHome config_;
  fs::path autostart() const { return fs::path(config_.path()) / "autostart"; }
};

TEST_F(RegistryTest, RunValueIsOneAutostartEntryReplacedByEachWrite) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kRun, &key), ERROR_SUCCESS) << "the Run key always exists";
  ASSERT_EQ(SetString(key, kRun, L"/opt/first/tickora"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, kRun, L"/opt/100%f/tickora"), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, kRun), L"/opt/100%f/tickora") << "a percent sign is no field code";
  ASSERT_EQ(SetString(key, kRun, L"/opt/second/tickora"), ERROR_SUCCESS);

  const auto files = Entries(autostart());
  ASSERT_EQ(files.size(), 1u);
  const std::string name = files[0].filename().string();
  EXPECT_EQ(files[0].extension(), ".desktop");
  EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-."), std::string::npos) << name;

  const std::string entry = ReadFile(files[0]);
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nExec=\"/opt/second/tickora\"\n"), std::string::npos) << entry;
  EXPECT_EQ(QueryString(key, kRun), L"/opt/second/tickora");

  // Names compare without regard to case, and the user's Run key is the same list.
  HKEY user = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRun, 0, KEY_READ, &user), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(user, L"SOFTWARE\\microsoft\\WINDOWS\\currentversion\\RUN"), L"/opt/second/tickora");
  EXPECT_EQ(RegCloseKey(user), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteValueW(key, kRun), ERROR_SUCCESS);
  EXPECT_TRUE(Entries(autostart()).empty());
  LONG rc = 0;
  QueryString(key, kRun, &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// The desktop's list of startup programs shows the program's name and icon,
// in an entry that the desktop-entry validator accepts; the entry's file and
// the value read back stay what they were.
TEST_F(RegistryTest, AutostartEntryCarriesTheProgramsNameAndIcon) {
  struct ResetIdentity {
    ~ResetIdentity() { SetAutostartIdentity(L"", L""); }
  } reset;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kRun, &key), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, kRun, L"/opt/tickora/bin/tickora"), ERROR_SUCCESS);
  const auto before = Entries(autostart());
  ASSERT_EQ(before.size(), 1u);
  EXPECT_NE(ReadFile(before[0]).find("\nName=Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\n"),
            std::string::npos)
      << "without an identity the entry is named after its value";

  SetAutostartIdentity(L"Tickora", L"/opt/tickora/share/tickora/tickora.png");
  ASSERT_EQ(SetString(key, kRun, L"/opt/tickora/bin/tickora"), ERROR_SUCCESS);
  const auto files = Entries(autostart());
  ASSERT_EQ(files, before) << "the same entry is replaced";
  const std::string entry = ReadFile(files[0]);
  EXPECT_NE(entry.find("\nName=Tickora\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=/opt/tickora/share/tickora/tickora.png\n"), std::string::npos) << entry;
  EXPECT_EQ(QueryString(key, kRun), L"/opt/tickora/bin/tickora");
  std::string complaints;
  EXPECT_EQ(
      testsupport::RunCommand("timeout -k 5 30 desktop-file-validate '" + files[0].string() + "' 2>&1", &complaints), 0)
      << complaints << entry;
  EXPECT_EQ(complaints, "") << entry;

  // Giving the name back: the value's name again, and no icon.
  SetAutostartIdentity(L"", L"");
  ASSERT_EQ(SetString(key, kRun, L"/opt/tickora/bin/tickora"), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(files[0]).find("\nIcon="), std::string::npos);
  EXPECT_EQ(ReadFile(files[0]).find("\nName=Tickora\n"), std::string::npos);
  RegCloseKey(key);
}

// A desktop launcher starts the program the entry names, whatever characters
// its folder holds.
TEST_F(RegistryTest, AutostartEntryStartsTheProgramThroughADesktopLauncher) {
  const std::vector<std::string> folders = {"plain", "with space", "dollar $HOME and `tick`", "quote \" and \\ back"};
  for (size_t i = 0; i < folders.size(); ++i) {
    SCOPED_TRACE(folders[i]);
    const fs::path dir = fs::path(config_.path()) / folders[i];
    fs::create_directories(dir);
    const fs::path program = dir / "prog";
    const fs::path marker = fs::path(config_.path()) / ("ran" + std::to_string(i));
    {
      std::ofstream s(program);
      // Written aside and renamed, so the marker appears complete.
      s << "#!/bin/sh\necho \"$0\" > '" << marker.string() << ".tmp' && mv '" << marker.string() << ".tmp' '"
        << marker.string() << "'\n";
    }
    chmod(program.c_str(), 0755);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kRun, &key), ERROR_SUCCESS);
    const std::wstring wide = MultiByteToWide(CP_UTF8, program.string());
    ASSERT_EQ(SetString(key, L"Program", wide), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, L"Program"), wide);
    RegCloseKey(key);

    const auto files = Entries(autostart());
    ASSERT_EQ(files.size(), 1u);
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(files[0].c_str());
    ASSERT_NE(info, nullptr) << ReadFile(files[0]);
    GError *error = nullptr;
    EXPECT_TRUE(g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error)) << (error ? error->message : "");
    if (error) g_error_free(error);
    g_object_unref(info);

    EXPECT_EQ(testsupport::WaitForFileContent(marker.string()), program.string() + "\n");
  }
}

TEST_F(RegistryTest, RunValueRejectsWhatNoEntryCanHold) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kRun, &key), ERROR_SUCCESS);
  const DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(key, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), sizeof one),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetString(key, L"n", L"/bin/a\nrm -rf"), ERROR_INVALID_DATA);
  EXPECT_TRUE(Entries(autostart()).empty());

  // An empty command is kept, but no launcher runs it.
  ASSERT_EQ(SetString(key, L"n", L""), ERROR_SUCCESS);
  const auto files = Entries(autostart());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(ReadFile(files[0]).find("\nHidden=true\n"), std::string::npos);
  EXPECT_EQ(QueryString(key, L"n"), L"");
  RegCloseKey(key);
}

TEST_F(RegistryTest, UnwritableConfigurationFolderFailsTheWrite) {
  // The autostart folder's place is taken by a file.
  std::ofstream(autostart()) << "not a folder";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kRun, &key), ERROR_SUCCESS);
  EXPECT_NE(SetString(key, kRun, L"/opt/tickora"), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, FileBackedKeysAndValues) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tickora\\Test", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tickora\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));

  const DWORD number = 0x12345678;
  ASSERT_EQ(RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number),
            ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, L"Text\\With/Slashes", L"值 value"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, nullptr, L"default"), ERROR_SUCCESS);
  RegCloseKey(key);

  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\tickora\\test", 0, nullptr, 0, KEY_READ, nullptr, &again,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

  DWORD type = 0, value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(again, L"number", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, number);
  EXPECT_EQ(QueryString(again, L"text\\with/slashes"), L"值 value");
  EXPECT_EQ(QueryString(again, L""), L"default");

  // Size queries and a buffer too small.
  size = 0;
  EXPECT_EQ(RegQueryValueExW(again, L"Text\\With/Slashes", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8 * sizeof(WCHAR));
  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(again, L"Text\\With/Slashes", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8 * sizeof(WCHAR));

  // A key opened for reading takes no writes.
  EXPECT_EQ(SetString(again, L"x", L"y"), ERROR_ACCESS_DENIED);
  LONG rc = 0;
  QueryString(again, L"missing", &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);

  ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, L"Software\\Tickora\\Test", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, L"Number"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, L"Number"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "a closed handle is no longer valid";
  EXPECT_EQ(SetString(key, L"x", L"y"), ERROR_INVALID_HANDLE);

  // Everything stayed inside the configuration folder.
  EXPECT_TRUE(fs::is_directory(fs::path(config_.path()) / "tickora" / "registry"));
}

}  // namespace
