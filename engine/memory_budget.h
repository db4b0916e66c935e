// How much memory a big job may take. Linux overcommits: an allocation that
// succeeds proves nothing, and touching pages that are not there brings the
// out-of-memory killer instead of an error. So a job compares what it needs
// with what the system, the process limit and the control group allow, then
// touches all of it before it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fernweave {

struct MemoryLimit {
    std::uint64_t Bytes = 0;
    std::string Source;  // "MemAvailable", "RLIMIT_AS", "the control group's memory.max"
};

// The tightest of the limits that apply now; nullopt when none can be read.
std::optional<MemoryLimit> AvailableMemory();
// The same with the user's own cap (`--memory`, the poster dialog's field) as one more limit, named `source`.
std::optional<MemoryLimit> AvailableMemoryWithin(std::optional<std::uint64_t> cap, const std::string& source);

// Parsers of the files it reads, for the tests.
std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo);     // /proc/meminfo
std::optional<std::uint64_t> ParseStatusField(std::string_view status, std::string_view field);  // "VmSize:"
std::optional<std::string> ParseCgroupPath(std::string_view cgroup);          // /proc/self/cgroup, v2
std::optional<std::uint64_t> ParseMemoryMax(std::string_view text);           // "max" gives nullopt
std::optional<std::string> ParseCgroupV1MemoryPath(std::string_view cgroup);  // /proc/self/cgroup, v1
std::optional<std::uint64_t> ParseMemoryLimitInBytes(std::string_view text);  // v1; no limit gives nullopt

// "1.5 GiB", "300 MiB", "12 KiB".
std::string FormatBytes(std::uint64_t bytes);

// Empty when `needed` fits, else the refusal: what the job needs and what is there.
std::string CheckMemory(std::uint64_t needed, const std::optional<MemoryLimit>& available);

}  // namespace fernweave
