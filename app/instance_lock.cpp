#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace fernweave {

std::string InstanceLockFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return runtime;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/fernweave-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

bool AlreadyRunning(const std::string& folder) {
    const std::string path = folder + "/" + InstanceLockName;
    // Never closed: the lock lives as long as the process.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace fernweave
