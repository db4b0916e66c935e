#include "memory_budget.h"

#include <sys/resource.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fernweave {

namespace {

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end == text.data()) return std::nullopt;
    return v;
}

// The first line that starts with `prefix`, without the prefix.
std::optional<std::string_view> LineAfter(std::string_view text, std::string_view prefix) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t eol = std::min(text.find('\n', at), text.size());
        if (const std::string_view line = text.substr(at, eol - at); line.starts_with(prefix))
            return line.substr(prefix.size());
        at = eol + 1;
    }
    return std::nullopt;
}

// The value of a "Name:   1234 kB" line, in bytes.
std::optional<std::uint64_t> KilobyteField(std::string_view text, std::string_view field) {
    const auto line = LineAfter(text, field);
    const auto v = line ? ParseNumber(*line) : std::nullopt;
    if (!v) return std::nullopt;
    return *v * 1024;
}

void Tighten(std::optional<MemoryLimit>& best, std::uint64_t bytes, const char* source) {
    if (!best || bytes < best->Bytes) best = MemoryLimit{bytes, source};
}

}  // namespace

std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo) {
    return KilobyteField(meminfo, "MemAvailable:");
}

std::optional<std::uint64_t> ParseStatusField(std::string_view status, std::string_view field) {
    return KilobyteField(status, field);
}

std::optional<std::string> ParseCgroupPath(std::string_view cgroup) {
    const auto path = LineAfter(cgroup, "0::");
    if (!path) return std::nullopt;
    return std::string(*path);
}

std::optional<std::string> ParseCgroupV1MemoryPath(std::string_view cgroup) {
    // "4:cpu,memory:/a/b": the hierarchy whose controllers include memory.
    for (std::size_t at = 0; at < cgroup.size();) {
        const std::size_t eol = std::min(cgroup.find('\n', at), cgroup.size());
        const std::string_view line = cgroup.substr(at, eol - at);
        at = eol + 1;
        const std::size_t c1 = line.find(':');
        const std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
        if (c2 == std::string_view::npos) continue;
        std::string_view controllers = line.substr(c1 + 1, c2 - c1 - 1);
        while (!controllers.empty()) {
            const std::size_t comma = std::min(controllers.find(','), controllers.size());
            if (controllers.substr(0, comma) == "memory") return std::string(line.substr(c2 + 1));
            controllers.remove_prefix(std::min(comma + 1, controllers.size()));
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ParseMemoryLimitInBytes(std::string_view text) {
    // Without a limit the kernel writes the largest page-aligned signed value.
    const auto v = ParseNumber(text);
    if (!v || *v >= (std::uint64_t{1} << 62)) return std::nullopt;
    return v;
}

std::optional<std::uint64_t> ParseMemoryMax(std::string_view text) {
    if (text.starts_with("max")) return std::nullopt;
    return ParseNumber(text);
}

std::optional<MemoryLimit> AvailableMemory() {
    std::optional<MemoryLimit> best;
    if (const auto meminfo = ReadText("/proc/meminfo"))
        if (const auto v = ParseMemAvailable(*meminfo)) Tighten(best, *v, "MemAvailable");

    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        std::uint64_t used = 0;
        if (const auto status = ReadText("/proc/self/status"))
            used = ParseStatusField(*status, "VmSize:").value_or(0);
        const std::uint64_t cap = limit.rlim_cur;
        Tighten(best, cap > used ? cap - used : 0, "RLIMIT_AS");
    }

    // A control group's limit less what the group uses: cgroup v2, then v1.
    const auto group = [&](const std::optional<std::string>& path, const std::string& root, const char* limitFile,
                           const char* usageFile, auto parseLimit, const char* source) {
        if (!path) return;
        const std::string dir = root + (*path == "/" ? std::string() : *path);
        const auto text = ReadText(dir + "/" + limitFile);
        if (const auto cap = text ? parseLimit(*text) : std::nullopt) {
            const auto usage = ReadText(dir + "/" + usageFile);
            const std::uint64_t used = usage ? ParseNumber(*usage).value_or(0) : 0;
            Tighten(best, *cap > used ? *cap - used : 0, source);
        }
    };
    if (const auto cgroup = ReadText("/proc/self/cgroup")) {
        group(ParseCgroupPath(*cgroup), "/sys/fs/cgroup", "memory.max", "memory.current", ParseMemoryMax,
              "the control group's memory.max");
        group(ParseCgroupV1MemoryPath(*cgroup), "/sys/fs/cgroup/memory", "memory.limit_in_bytes",
              "memory.usage_in_bytes", ParseMemoryLimitInBytes, "the control group's memory.limit_in_bytes");
    }
    return best;
}

std::optional<MemoryLimit> AvailableMemoryWithin(std::optional<std::uint64_t> cap, const std::string& source) {
    std::optional<MemoryLimit> available = AvailableMemory();
    if (cap && (!available || *cap < available->Bytes)) available = MemoryLimit{*cap, source};
    return available;
}

std::string FormatBytes(std::uint64_t bytes) {
    static constexpr const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double v = static_cast<double>(bytes);
    int u = 0;
    while (v >= 1024 && u < 4) {
        v /= 1024;
        ++u;
    }
    char text[32];
    if (u == 0)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, v < 10 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return text;
}

std::string CheckMemory(std::uint64_t needed, const std::optional<MemoryLimit>& available) {
    if (!available || needed <= available->Bytes) return {};
    return "the job needs " + FormatBytes(needed) + " of memory, but only " + FormatBytes(available->Bytes) +
           " can be had (" + available->Source + ")";
}

}  // namespace fernweave
