#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace fernweave {

namespace {

// A real folder (not a link) of the user's that nobody else can write to.
bool OwnedAndClosed(const std::string& folder, mode_t exactMode) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    const mode_t mode = st.st_mode & 07777;
    return exactMode ? mode == exactMode : (mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string SafeRuntimeFolder() {
    // The desktop's folder counts only as the XDG rule has it: the user's own, mode 0700.
    // Pointed at a shared folder, another user could take the lock and receive our files.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && OwnedAndClosed(runtime, 0700))
        return runtime;
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/fernweave-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    // Whoever made the folder decides who may put a lock into it; a link could lead anywhere.
    if (!OwnedAndClosed(folder, 0)) return {};
    return folder;
}

bool AlreadyRunning(const std::string& folder) {
    if (folder.empty()) return false;
    const std::string path = folder + "/" + InstanceLockName;
    // Never closed: the lock lives as long as the process.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace fernweave
