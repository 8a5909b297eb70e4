// The certificate authorities HTTPS connections are verified against: the
// system's (curl's built-in bundle and hashed folder) plus the extra trusted
// file. Parsing a bundle of a few hundred certificates costs far more than a
// whole loopback exchange, so the store is built once and shared by every
// connection of every thread until the configuration or one of the two files
// changes; then a new store with a new generation replaces it. Nothing here
// runs before a transfer makes its first TLS connection.
#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/stat.h>

#include <cstdlib>
#include <mutex>

#include "platform/inet/wininet_internal.h"

namespace wininet {
namespace {

// Identity and version of a file; equal stamps mean an unchanged file.
struct FileStamp {
  bool present = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long mtimeNs = 0;
  bool operator==(const FileStamp &) const = default;
};

FileStamp Stamp(const std::string &path) {
  FileStamp s;
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return s;
  s.present = true;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return s;
}

// curl's built-in authority locations, asked once.
struct SystemLocations {
  std::string file;
  std::string folder;
};

// Never destroyed: a worker may still open a connection while the process
// runs its exit handlers.
const SystemLocations &System() {
  static const SystemLocations *locations = [] {
    GlobalInit();
    auto *l = new SystemLocations;
    if (CURL *probe = curl_easy_init()) {
      char *file = nullptr, *folder = nullptr;
      if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &file) == CURLE_OK && file) l->file = file;
      if (curl_easy_getinfo(probe, CURLINFO_CAPATH, &folder) == CURLE_OK && folder) l->folder = folder;
      curl_easy_cleanup(probe);
    }
    return l;
  }();
  return *locations;
}

struct TrustState {
  std::mutex lock;
  bool explicitlySet = false;
  std::string extraPath;              // as set by InternetSetExtraTrustedCaFile
  bool configChanged = true;          // the extra path must be resolved again
  std::string resolvedExtra;          // the file in use: the set path or the environment's
  FileStamp systemStamp, extraStamp;  // of the files `current` was built from
  std::shared_ptr<const TrustStore> current;
  unsigned long long generations = 0;
};

TrustState &Trust() {
  static TrustState *state = new TrustState;  // outlives every request
  return *state;
}

// A new store from the system's authorities and the extra file; NULL when
// OpenSSL cannot allocate one. Unreadable files add nothing: a connection
// whose authority is missing fails its verification.
X509_STORE *BuildStore(const std::string &extraFile) {
  X509_STORE *store = X509_STORE_new();
  if (!store) return nullptr;
  const SystemLocations &sys = System();
  if (!sys.file.empty()) X509_STORE_load_file(store, sys.file.c_str());
  if (!sys.folder.empty()) X509_STORE_load_path(store, sys.folder.c_str());
  if (sys.file.empty() && sys.folder.empty()) X509_STORE_set_default_paths(store);
  if (!extraFile.empty()) X509_STORE_load_file(store, extraFile.c_str());
  // The chain rules curl applies to the stores it builds itself.
  X509_STORE_set_flags(store, X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
  ERR_clear_error();  // failed loads must not surface as errors of a later handshake
  return store;
}

}  // namespace

TrustStore::~TrustStore() { X509_STORE_free(store); }

std::shared_ptr<const TrustStore> CurrentTrust() {
  TrustState &t = Trust();
  std::lock_guard<std::mutex> g(t.lock);
  if (t.configChanged) {
    if (t.explicitlySet) {
      t.resolvedExtra = t.extraPath;
    } else {
      const char *env = std::getenv("TICKORA_EXTRA_CA_FILE");
      t.resolvedExtra = env ? env : "";
    }
  }
  FileStamp systemStamp = Stamp(System().file);
  FileStamp extraStamp = Stamp(t.resolvedExtra);
  if (t.current && !t.configChanged && systemStamp == t.systemStamp && extraStamp == t.extraStamp) return t.current;
  X509_STORE *store = BuildStore(extraStamp.present ? t.resolvedExtra : std::string());
  if (!store) return nullptr;
  auto trust = std::make_shared<TrustStore>();
  trust->store = store;
  trust->generation = ++t.generations;
  t.current = trust;
  t.systemStamp = systemStamp;
  t.extraStamp = extraStamp;
  t.configChanged = false;
  return t.current;
}

unsigned long long TrustStoresBuilt() {
  TrustState &t = Trust();
  std::lock_guard<std::mutex> g(t.lock);
  return t.generations;
}

bool InstallTrust(void *sslContext, const TrustStore &trust) {
  // The context takes a reference of its own, so the store outlives it.
  if (!X509_STORE_up_ref(trust.store)) return false;
  SSL_CTX_set_cert_store(static_cast<SSL_CTX *>(sslContext), trust.store);
  return true;
}

}  // namespace wininet

void InternetSetExtraTrustedCaFile(const std::string &pemPath) {
  wininet::TrustState &t = wininet::Trust();
  std::lock_guard<std::mutex> g(t.lock);
  t.explicitlySet = true;
  t.extraPath = pemPath;
  t.configChanged = true;
}
