#include "platform/window/sound.h"

#include <canberra.h>
#include <sys/stat.h>

#include <condition_variable>
#include <cwchar>
#include <mutex>

#include "platform/text/codepage.h"
#include "platform/window/window.h"

namespace {

// Alias names of the system alerts and the sound-theme events that stand for them.
struct AliasEvent {
  const wchar_t *alias;
  const char *event;
};
constexpr AliasEvent kAliases[] = {
    {L"SystemAsterisk", "dialog-information"},
    {L"SystemExclamation", "dialog-warning"},
    {L"SystemHand", "dialog-error"},
    {L"SystemQuestion", "dialog-question"},
    {L"SystemDefault", "bell"},
    {L".Default", "bell"},
};
constexpr const char *kDefaultEvent = "bell";

const char *FindAlias(LPCWSTR name) {
  for (const AliasEvent &a : kAliases)
    if (wcscmp(a.alias, name) == 0) return a.event;
  return nullptr;
}

bool IsPlayableFile(const std::string &path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// One process-wide context; libcanberra contexts are safe to use from any thread.
// Id 1 is the one sound this process plays at a time.
constexpr uint32_t kSoundId = 1;

std::mutex g_contextLock;
ca_context *g_context = nullptr;

ca_context *Context() {
  std::lock_guard<std::mutex> lock(g_contextLock);
  if (!g_context) {
    if (ca_context_create(&g_context) != CA_SUCCESS) {
      g_context = nullptr;
      return nullptr;
    }
    ca_context_change_props(g_context, CA_PROP_APPLICATION_NAME, "Tickora", nullptr);
  }
  return g_context;
}

// Waits for the end of a synchronous sound.
struct SyncWait {
  std::mutex lock;
  std::condition_variable doneCv;
  bool done = false;
};

void OnSyncFinished(ca_context *, uint32_t, int, void *userdata) {
  auto *wait = static_cast<SyncWait *>(userdata);
  std::lock_guard<std::mutex> lock(wait->lock);
  wait->done = true;
  wait->doneCv.notify_all();
}

BOOL Play(const SoundRequest &request, bool async) {
  ca_context *ctx = Context();
  if (!ctx) return FALSE;
  ca_context_cancel(ctx, kSoundId);  // a new sound replaces the playing one
  if (request.kind == SoundRequest::kStop) return TRUE;
  if (request.kind == SoundRequest::kNothing) return FALSE;

  ca_proplist *props = nullptr;
  if (ca_proplist_create(&props) != CA_SUCCESS) return FALSE;
  ca_proplist_sets(props, request.kind == SoundRequest::kFile ? CA_PROP_MEDIA_FILENAME : CA_PROP_EVENT_ID,
                   request.target.c_str());
  int rc;
  if (async) {
    rc = ca_context_play_full(ctx, kSoundId, props, nullptr, nullptr);
  } else {
    SyncWait wait;
    rc = ca_context_play_full(ctx, kSoundId, props, OnSyncFinished, &wait);
    if (rc == CA_SUCCESS) {
      std::unique_lock<std::mutex> lock(wait.lock);
      wait.doneCv.wait(lock, [&] { return wait.done; });
    }
  }
  ca_proplist_destroy(props);
  return rc == CA_SUCCESS ? TRUE : FALSE;
}

std::mutex g_logLock;
std::vector<SoundLogEntry> g_log;

}  // namespace

SoundRequest ResolveSound(LPCWSTR pszSound, DWORD fdwSound) {
  SoundRequest r;
  if (!pszSound) {
    r.kind = SoundRequest::kStop;
    return r;
  }
  constexpr DWORD kUnsupported = SND_MEMORY | SND_RESOURCE | SND_LOOP | SND_NOSTOP;
  if (fdwSound & kUnsupported) return r;

  const bool aliasOnly = (fdwSound & SND_ALIAS) != 0;
  const bool fileOnly = (fdwSound & SND_FILENAME) != 0;
  if (!fileOnly) {
    if (const char *event = FindAlias(pszSound)) {
      r.kind = SoundRequest::kEvent;
      r.target = event;
      return r;
    }
  }
  if (!aliasOnly) {
    std::string path = WideToMultiByte(CP_UTF8, pszSound);
    if (IsPlayableFile(path)) {
      r.kind = SoundRequest::kFile;
      r.target = path;
      return r;
    }
  }
  if (!(fdwSound & SND_NODEFAULT)) {
    r.kind = SoundRequest::kEvent;
    r.target = kDefaultEvent;
  }
  return r;
}

BOOL PlaySoundW(LPCWSTR pszSound, HMODULE, DWORD fdwSound) {
  SoundRequest request = ResolveSound(pszSound, fdwSound);
  if (AfxGetBackend() == BACKEND_HEADLESS) {
    SoundLogEntry entry;
    entry.nullSound = pszSound == nullptr;
    if (pszSound) entry.sound = pszSound;
    entry.flags = fdwSound;
    entry.request = request;
    std::lock_guard<std::mutex> lock(g_logLock);
    g_log.push_back(entry);
    return request.kind == SoundRequest::kNothing ? FALSE : TRUE;
  }
  return Play(request, (fdwSound & SND_ASYNC) != 0);
}

std::vector<SoundLogEntry> HeadlessSoundLog() {
  std::lock_guard<std::mutex> lock(g_logLock);
  return g_log;
}

void HeadlessClearSoundLog() {
  std::lock_guard<std::mutex> lock(g_logLock);
  g_log.clear();
}
