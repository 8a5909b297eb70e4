// PlaySoundW: what each call plays (alias, file, default alert, stop), and the
// headless backend's record of the calls.
#include "platform/window/sound.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text/codepage.h"
#include "platform/window/headless.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(PlaySound, ResolvesNameAndFlags) {
  testsupport::TempDir dir;
  const std::string file = dir.Write("tone.WAV", "RIFF");
  const std::wstring wfile = MultiByteToWide(CP_UTF8, file);
  const std::wstring missing = MultiByteToWide(CP_UTF8, dir.path() + "/air.wav");
  const std::wstring otherCase = wfile.substr(0, wfile.size() - 3) + L"wav";
  const std::wstring folder = MultiByteToWide(CP_UTF8, dir.path());

  struct Case {
    const char *what;
    const wchar_t *name;
    DWORD flags;
    SoundRequest::Kind kind;
    std::string target;
  } cases[] = {
      {"null stops", nullptr, SND_FILENAME, SoundRequest::kStop, ""},
      {"file", wfile.c_str(), SND_ASYNC, SoundRequest::kFile, file},
      {"file only", wfile.c_str(), SND_ASYNC | SND_FILENAME, SoundRequest::kFile, file},
      {"alias first", L"SystemExclamation", SND_ASYNC, SoundRequest::kEvent, "dialog-warning"},
      {"alias flag", L"SystemHand", SND_ALIAS, SoundRequest::kEvent, "dialog-error"},
      {"missing file plays the default", missing.c_str(), SND_ASYNC, SoundRequest::kEvent, "bell"},
      {"file names are case-sensitive", otherCase.c_str(), SND_ASYNC, SoundRequest::kEvent, "bell"},
      {"no default", missing.c_str(), SND_ASYNC | SND_NODEFAULT, SoundRequest::kNothing, ""},
      {"alias name as a file", L"SystemHand", SND_FILENAME | SND_NODEFAULT, SoundRequest::kNothing, ""},
      {"folder is no file", folder.c_str(), SND_NODEFAULT, SoundRequest::kNothing, ""},
      {"loop unsupported", wfile.c_str(), SND_ASYNC | SND_LOOP, SoundRequest::kNothing, ""},
      {"memory unsupported", wfile.c_str(), SND_MEMORY, SoundRequest::kNothing, ""},
  };
  for (const Case &c : cases) {
    const SoundRequest r = ResolveSound(c.name, c.flags);
    EXPECT_EQ(r.kind, c.kind) << c.what;
    EXPECT_EQ(r.target, c.target) << c.what;
  }
}

TEST(PlaySound, HeadlessBackendRecordsInsteadOfPlaying) {
  HeadlessReset();
  HeadlessClearSoundLog();
  EXPECT_TRUE(PlaySoundW(L"/nowhere/air.WAV", nullptr, SND_ASYNC));
  EXPECT_TRUE(PlaySoundW(nullptr, nullptr, SND_FILENAME));
  EXPECT_FALSE(PlaySoundW(L"/nowhere/air.WAV", nullptr, SND_ASYNC | SND_NODEFAULT));

  const std::vector<SoundLogEntry> log = HeadlessSoundLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].sound, L"/nowhere/air.WAV");
  EXPECT_EQ(log[0].flags, (DWORD)SND_ASYNC);
  EXPECT_EQ(log[0].request.kind, SoundRequest::kEvent);
  EXPECT_TRUE(log[1].nullSound);
  EXPECT_EQ(log[1].request.kind, SoundRequest::kStop);
  EXPECT_EQ(log[2].request.kind, SoundRequest::kNothing);

  HeadlessClearSoundLog();
  EXPECT_TRUE(HeadlessSoundLog().empty());
}

}  // namespace
