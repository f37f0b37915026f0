// Window presence by caption. A window whose caption another process must be able to find
// (the classic FindWindow by caption) registers that caption from the moment it is loaded until
// it is unloaded. Registration holds a shared advisory lock (flock) on a file named after the
// caption in the per-user runtime folder ($XDG_RUNTIME_DIR/plenova, else a private 0700 folder
// /tmp/plenova-<uid>); the lock goes away with the process, so a crashed program never leaves a
// window behind. Any number of registrations of one caption may exist at once, as on Windows.
#pragma once

#include <string>

namespace plenova::platform {

// RAII registration token: the caption is registered while the token lives. Move-only; an empty
// (default-constructed or moved-from) token registers nothing.
class WindowPresence {
public:
    WindowPresence() = default;
    ~WindowPresence();
    WindowPresence(WindowPresence&& other) noexcept;
    WindowPresence& operator=(WindowPresence&& other) noexcept;
    WindowPresence(const WindowPresence&) = delete;
    WindowPresence& operator=(const WindowPresence&) = delete;

    // Registers `caption` (exact text, letter case counts). When the runtime folder cannot be
    // made or is not private, the token is empty and the caption stays unfindable; a program
    // then runs on as if it were the only copy.
    static WindowPresence Register(const std::string& caption);

    bool IsRegistered() const noexcept { return fd_ >= 0; }
    const std::string& Caption() const noexcept { return caption_; }
    // Ends the registration now (as the destructor does).
    void Release() noexcept;

private:
    int fd_ = -1;
    std::string caption_;
};

// True when a window with exactly this caption exists: some process, this one included, holds a
// registration of it. Never blocks for longer than another caller's own check.
bool WindowWithCaptionExists(const std::string& caption);

// The folder that holds the presence files (created on first use); empty when no private folder
// can be had. Tests point it elsewhere with SetPresenceFolder.
std::string PresenceFolder();
// Overrides the folder for this process (empty text: back to the default). The folder is created
// with mode 0700 when missing.
void SetPresenceFolder(const std::string& folder);

// File name (not path) used for a caption: "w-" followed by the caption with every byte outside
// [A-Za-z0-9._-] written as %XX; long captions are cut and completed with a hash so that the name
// stays within file-name limits.
std::string PresenceFileName(const std::string& caption);

}  // namespace plenova::platform
