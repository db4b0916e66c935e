// Shared by the fuzz targets: a scratch folder of their own for the readers
// that take a file name, and a failure that libFuzzer records as a crash.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace fernweave::fuzz {

// One folder per process, removed at exit. In memory where possible: the
// writers sync every file, which on a disk would dominate each run.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        std::string base = "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string name = base + "/fernweave-fuzz-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = name;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return name;
    }();
    return dir;
}

inline std::string ScratchPath(std::string_view name) { return ScratchDir() + "/" + std::string(name); }

// Replaces the file with exactly these bytes.
inline void WriteScratchFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// A broken promise of the code under test: libFuzzer keeps the input.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void Check(bool ok, const char* what) {
    if (!ok) Broken(what);
}

// What a picture decoder promises: a whole picture within the pixel limit, or a refusal that says why.
template <class Picture>
void CheckDecoded(const std::optional<Picture>& picture, const std::string& error, std::uint64_t maxPixels) {
    if (picture) {
        Check(!picture->Empty(), "a decoded picture has pixels");
        Check(static_cast<std::uint64_t>(picture->Width()) * static_cast<std::uint64_t>(picture->Height()) <=
                  maxPixels,
              "a decoded picture is within the pixel limit");
        Check(picture->ByteSize() == picture->Stride() * static_cast<std::size_t>(picture->Height()),
              "a decoded picture is whole");
    } else {
        Check(!error.empty(), "a refusal says why");
    }
}

}  // namespace fernweave::fuzz
