#include "safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "memory_budget.h"

namespace fernweave {

namespace {

void SetError(std::string* error, const std::string& what) {
    if (error) *error = what;
}

std::string ErrnoText(const std::string& what, int err) { return what + ": " + std::strerror(err); }

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Partial files are named ".NAME.XXXXXX" beside their target, six letters or digits at the end.
constexpr std::size_t PartialSuffixLength = 6;
// A partial file untouched this long belongs to no write still under way.
constexpr time_t StalePartialSeconds = 60;

bool IsPartialNameFor(const std::string& entry, const std::string& base) {
    const std::string stem = "." + base + ".";
    if (entry.size() != stem.size() + PartialSuffixLength || entry.compare(0, stem.size(), stem) != 0) return false;
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(stem.size()), entry.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

std::string RandomSuffix() {
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[PartialSuffixLength] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
        for (std::size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(std::rand());
    std::string suffix;
    for (unsigned char r : random) suffix += Letters[r % (sizeof Letters - 1)];
    return suffix;
}

// Gives the finished unnamed file a partial name, from which it is renamed
// over the target at once. False with errno when the link cannot be made.
bool NameUnnamedFile(int fd, const std::string& folder, const std::string& base, std::string& temp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 20; ++attempt) {
        temp = folder + "/." + base + "." + RandomSuffix();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Makes a new partial file ".NAME.XXXXXX" beside the target; its name goes
// to `name`. The descriptor, or -1 with errno.
int MakePartialFile(const std::string& folder, const std::string& base, std::string& name) {
    const std::string pattern = folder + "/." + base + ".XXXXXX";
    std::vector<char> chars(pattern.begin(), pattern.end());
    chars.push_back('\0');
    const int fd = ::mkostemp(chars.data(), O_CLOEXEC);
    if (fd >= 0) name = chars.data();
    return fd;
}

}  // namespace

void RemoveStalePartialFiles(const std::string& target) {
    const std::string folder = DirectoryOf(target), base = BaseNameOf(target);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsPartialNameFor(entry->d_name, base)) continue;
        struct stat st {};
        // Only our own regular files, and none a write may still be filling.
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::getuid() || now - st.st_mtime < StalePartialSeconds)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

bool WriteAllToDescriptor(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteFileProducing(const std::string& requested, const std::function<std::string(const ByteSink&)>& produce,
                        std::string* error, FileWriter writer) {
    if (requested.empty()) {
        SetError(error, "no file name");
        return false;
    }
    // Beyond the process's file-size limit, write(2) must fail like a full
    // disk (EFBIG) rather than SIGXFSZ ending the program with its unsaved work.
    ::signal(SIGXFSZ, SIG_IGN);
    std::string path = requested;
    struct stat st {};
    bool exists = false;
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            // Replace the file the link points to, and keep the link.
            char resolved[PATH_MAX];
            if (::realpath(path.c_str(), resolved) == nullptr) {
                SetError(error, ErrnoText(requested, errno));
                return false;
            }
            path = resolved;
            if (::stat(path.c_str(), &st) != 0) {
                SetError(error, ErrnoText(requested, errno));
                return false;
            }
        }
        if (!S_ISREG(st.st_mode)) {
            SetError(error, requested + ": not a regular file");
            return false;
        }
        exists = true;
    } else if (errno != ENOENT) {
        SetError(error, ErrnoText(requested, errno));
        return false;
    }

    // What a write cut short by a kill left behind goes first.
    RemoveStalePartialFiles(path);
    // Unnamed while it is written where the file system allows it, so that a
    // kill leaves nothing behind; otherwise a hidden partial file beside the target.
    const std::string folder = DirectoryOf(path);
    std::string temp;
    bool unnamed = true;
    // Naming it afterwards goes through /proc, without which it stays named throughout.
    int fd = ::access("/proc/self/fd", X_OK) == 0 ? ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1;
    if (fd < 0) {
        unnamed = false;
        fd = MakePartialFile(folder, BaseNameOf(path), temp);
        if (fd < 0) {
            SetError(error, ErrnoText(requested, errno));
            return false;
        }
    }

    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    auto writeAll = writer.WriteAll ? writer.WriteAll : WriteAllToDescriptor;
    const auto cancelled = [&] { return writer.Cancel && writer.Cancel->load(std::memory_order_relaxed); };
    bool ok = ::fchmod(fd, mode) == 0;
    int err = errno;
    bool stopped = false, sinkFailed = false;
    std::string why;
    if (ok) {
        // In pieces, so that a cancel is seen while a big file goes out.
        const ByteSink sink = [&](const std::uint8_t* data, std::size_t size) {
            constexpr std::size_t Piece = std::size_t{64} << 20;
            for (std::size_t at = 0; !sinkFailed && at < size; at += Piece) {
                if (cancelled())
                    sinkFailed = stopped = true;
                else if (!writeAll(fd, data + at, std::min(Piece, size - at)))
                    sinkFailed = true, err = errno;
            }
            return !sinkFailed;
        };
        try {
            why = produce(sink);
        } catch (...) {
            ::close(fd);
            if (!temp.empty()) ::unlink(temp.c_str());
            throw;
        }
        ok = why.empty() && !sinkFailed;
    }
    if (ok) {
        ok = ::fsync(fd) == 0;
        err = errno;
    }
    if (ok && unnamed) {
        ok = NameUnnamedFile(fd, folder, BaseNameOf(path), temp);
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && cancelled()) {
        ok = false;
        stopped = true;
    }
    if (ok) {
        ok = ::rename(temp.c_str(), path.c_str()) == 0;
        err = errno;
    }
    if (!ok) {
        if (!temp.empty()) ::unlink(temp.c_str());
        SetError(error, stopped                         ? requested + ": cancelled"
                        : !why.empty() && !sinkFailed ? requested + ": " + why
                                                      : ErrnoText(requested, err ? err : EIO));
        return false;
    }
    return true;
}

bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data, std::string* error,
                        FileWriter writer) {
    return WriteFileProducing(
        path, [&](const ByteSink& sink) { return sink(data.data(), data.size()) ? std::string() : "not written"; },
        error, writer);
}

std::string CheckTargetFile(const std::string& path, std::uint64_t bytes) {
    if (path.empty()) return "no file name";
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (::stat(path.c_str(), &st) != 0) return ErrnoText(path, errno);
        if (!S_ISREG(st.st_mode)) return path + ": not a regular file";
    } else if (errno != ENOENT) {
        return ErrnoText(path, errno);
    }
    const std::string dir = DirectoryOf(path);
    if (::stat(dir.c_str(), &st) != 0) return ErrnoText(path, errno);
    if (!S_ISDIR(st.st_mode)) return path + ": " + dir + " is not a folder";
    // access() says yes to root everywhere and knows nothing of read-only mounts: make a file.
    std::string probe;
    const int fd = MakePartialFile(dir, BaseNameOf(path), probe);
    if (fd < 0) return ErrnoText(path, errno);
    ::close(fd);
    ::unlink(probe.c_str());
    struct statvfs fs {};
    if (::statvfs(dir.c_str(), &fs) == 0) {
        const std::uint64_t room = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
        if (room < bytes)
            return path + ": not enough room on the disk (" + FormatBytes(bytes) + " needed, " + FormatBytes(room) +
                   " free)";
    }
    return {};
}

bool ReadFilePrefix(const std::string& path, std::size_t limit, std::string& bytes, std::string* error) {
    bytes.clear();
    // Non-blocking open: a named pipe must not hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetError(error, ErrnoText(path, errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetError(error, path + ": not a regular file");
        return false;
    }
    // Sized from the file, grown if it grows while being read; never beyond the limit.
    std::size_t capacity = std::min<std::size_t>(limit, static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1);
    bytes.resize(capacity);
    std::size_t got = 0;
    while (got < limit) {
        if (got == capacity) {
            capacity = std::min<std::size_t>(limit, capacity * 2 + 4096);
            bytes.resize(capacity);
        }
        const ssize_t n = ::read(fd, bytes.data() + got, capacity - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            bytes.clear();
            SetError(error, ErrnoText(path, err));
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return true;
}

}  // namespace fernweave
