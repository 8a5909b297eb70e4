// PlaySoundW: playing a sound file or a system alert, asynchronously or not.
//
//   PlaySoundW(L"/path/air.WAV", NULL, SND_ASYNC);   // alias first, then the file
//   PlaySoundW(NULL, NULL, SND_FILENAME);            // stops what is playing
//
// A new sound replaces the one playing. A name that is neither a known alias nor an
// existing file plays the default alert instead, unless SND_NODEFAULT is given.
// Real playback goes through libcanberra; under the headless window backend nothing
// is played and each call is recorded for tests (HeadlessSoundLog).
#pragma once

#include <string>
#include <vector>

#include "platform/text/windef.h"

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010
#define SND_ALIAS 0x00010000
#define SND_FILENAME 0x00020000
#define SND_RESOURCE 0x00040004

// Returns TRUE when the sound was started (or, for a null sound, stopped), FALSE when
// nothing could be played. SND_MEMORY, SND_RESOURCE, SND_LOOP and SND_NOSTOP are not
// supported and give FALSE without playing.
BOOL PlaySoundW(LPCWSTR pszSound, HMODULE hmod, DWORD fdwSound);

// What one PlaySoundW call came to.
struct SoundRequest {
  enum Kind {
    kStop,     // null sound: stop what is playing
    kFile,     // play the file `target` (UTF-8 path)
    kEvent,    // play the system alert `target` (a sound-theme event id)
    kNothing,  // nothing to play: SND_NODEFAULT with an unknown name, or bad flags
  };
  Kind kind = kNothing;
  std::string target;
};

// Decides what a call plays, from the name, the flags and the file system.
SoundRequest ResolveSound(LPCWSTR pszSound, DWORD fdwSound);

// One recorded call of the headless backend.
struct SoundLogEntry {
  std::wstring sound;  // the name as given; empty for a null sound
  bool nullSound = false;
  DWORD flags = 0;
  SoundRequest request;
};

// The calls made since the last clear, oldest first (headless backend only).
std::vector<SoundLogEntry> HeadlessSoundLog();
void HeadlessClearSoundLog();
