#include "platform/window_presence.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plenova::platform {

namespace {

std::mutex folderMutex;
std::string folderOverride;

// A folder that only we can enter: created 0700 when missing; an existing one must be a real
// folder (not a link), owned by us, with no access for group or others. Anything else in a
// shared place like /tmp could be a trap laid by another user.
bool EnsurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
    if ((st.st_mode & 077) != 0) return false;
    return true;
}

std::string DefaultFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        std::string folder = std::string(runtime) + "/plenova";
        if (EnsurePrivateFolder(folder)) return folder;
    }
    std::string folder = "/tmp/plenova-" + std::to_string(::geteuid());
    if (EnsurePrivateFolder(folder)) return folder;
    return {};
}

int OpenPresenceFile(const std::string& folder, const std::string& name, int flags) {
    const std::string path = folder + "/" + name;
    return ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0600);
}

int FlockRetrying(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

}  // namespace

std::string PresenceFileName(const std::string& caption) {
    static const char* hex = "0123456789ABCDEF";
    std::string name = "w-";
    for (unsigned char c : caption) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (plain) {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += hex[c >> 4];
            name += hex[c & 15];
        }
    }
    constexpr std::size_t kMaxName = 200;  // well within NAME_MAX with room for the hash
    if (name.size() > kMaxName) {
        std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over the whole caption
        for (unsigned char c : caption) {
            hash ^= c;
            hash *= 1099511628211ULL;
        }
        char tail[20];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        name.resize(kMaxName - 17);
        name += tail;
    }
    return name;
}

std::string PresenceFolder() {
    std::lock_guard lock(folderMutex);
    if (!folderOverride.empty()) {
        return EnsurePrivateFolder(folderOverride) ? folderOverride : std::string();
    }
    return DefaultFolder();
}

void SetPresenceFolder(const std::string& folder) {
    std::lock_guard lock(folderMutex);
    folderOverride = folder;
}

// Registrations hold a shared lock, so any number of them can live side by side. A check takes
// an exclusive lock without waiting: it fails exactly when some registration holds the file.
// Checks are serialised by a second lock file so that two checks at once never mistake each
// other for a registration; a registration waits for a running check with a blocking lock.
WindowPresence WindowPresence::Register(const std::string& caption) {
    WindowPresence token;
    const std::string folder = PresenceFolder();
    if (folder.empty()) return token;
    const int fd = OpenPresenceFile(folder, PresenceFileName(caption), O_RDWR | O_CREAT);
    if (fd < 0) return token;
    if (FlockRetrying(fd, LOCK_SH) != 0) {
        ::close(fd);
        return token;
    }
    token.fd_ = fd;
    token.caption_ = caption;
    return token;
}

bool WindowWithCaptionExists(const std::string& caption) {
    const std::string folder = PresenceFolder();
    if (folder.empty()) return false;
    const int guard = OpenPresenceFile(folder, "check.lock", O_RDWR | O_CREAT);
    if (guard < 0) return false;
    bool exists = false;
    if (FlockRetrying(guard, LOCK_EX) == 0) {
        const int fd = OpenPresenceFile(folder, PresenceFileName(caption), O_RDONLY);
        if (fd >= 0) {
            if (FlockRetrying(fd, LOCK_EX | LOCK_NB) == 0) {
                ::flock(fd, LOCK_UN);
            } else {
                exists = (errno == EWOULDBLOCK);
            }
            ::close(fd);
        }
        ::flock(guard, LOCK_UN);
    }
    ::close(guard);
    return exists;
}

WindowPresence::~WindowPresence() { Release(); }

WindowPresence::WindowPresence(WindowPresence&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), caption_(std::move(other.caption_)) {}

WindowPresence& WindowPresence::operator=(WindowPresence&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        caption_ = std::move(other.caption_);
    }
    return *this;
}

void WindowPresence::Release() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);  // closing the only descriptor of the open file drops its lock
        fd_ = -1;
    }
}

}  // namespace plenova::platform
