// Writing a file so that a failure never destroys what was there: the bytes go
// to a temporary file beside the target, which then replaces the target by a
// rename. Only a regular file (or a missing name) is ever replaced. The
// temporary file has no name while it is written where the file system
// allows it (O_TMPFILE); otherwise it is a hidden ".NAME.XXXXXX", and those a
// killed write left behind are removed by the next write of the same target.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace fernweave {

// Where the bytes of a write go; tests put a failing writer in to stand for a full disk.
struct FileWriter {
    // Writes all of `data` to the open descriptor; false on any failure.
    bool (*WriteAll)(int fd, const std::uint8_t* data, std::size_t size) = nullptr;
    // Set: the write gives up (and leaves any existing file as it was) at the
    // next piece, and at the latest just before the rename.
    const std::atomic<bool>* Cancel = nullptr;
};

// The writer used when none is given: write(2) until done, retrying interrupted calls.
bool WriteAllToDescriptor(int fd, const std::uint8_t* data, std::size_t size);

// Replaces (or creates) `path` with `data`. On failure returns false, says why
// in `error` (when given) and leaves any existing file untouched.
bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data, std::string* error = nullptr,
                        FileWriter writer = {});

// Takes the bytes of a file as they are made; false when they could not be
// written (a full disk, a cancel): then no more are wanted.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// The same with the bytes `produce` hands to its sink as it makes them, so
// that a file larger than the memory can be written. `produce` returns empty
// when it made all of them, else why not; then nothing is replaced.
bool WriteFileProducing(const std::string& path, const std::function<std::string(const ByteSink&)>& produce,
                        std::string* error = nullptr, FileWriter writer = {});

// Whether `path` can be written with `bytes` bytes before any work is done:
// an existing target is a regular file, its folder exists and takes a new file
// (a real one is made and removed, so a read-only file system shows), and the
// file system has room for the bytes. Empty when fine, else the reason.
std::string CheckTargetFile(const std::string& path, std::uint64_t bytes);

// Removes the partial files of earlier writes of `target` (".NAME.XXXXXX"
// beside it, the user's own, untouched for a minute).
void RemoveStalePartialFiles(const std::string& target);

// Reads at most `limit` bytes from the start of a regular file. False when the
// file cannot be opened or is not a regular file.
bool ReadFilePrefix(const std::string& path, std::size_t limit, std::string& bytes, std::string* error = nullptr);

}  // namespace fernweave
