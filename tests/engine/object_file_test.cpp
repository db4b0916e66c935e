#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "object_file.h"

namespace fernweave {
namespace {

namespace fs = std::filesystem;

class ObjectFile : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/fernweave-objXXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Spit(const fs::path& p, const std::string& bytes) {
        std::ofstream out(p, std::ios::binary);
        out << bytes;
    }
    // All 120 records filled with recognisable values, padding included.
    static void FillAll(FractalState& s, int mapCount) {
        s.MapCount = mapCount;
        s.BaseTriangle = {TPoint{-3, 70000}, TPoint{2, 5}, TPoint{1200, -1}};
        for (int k = 1; k <= MaxMaps; ++k) {
            s.Maps[k] = TIfsMap{0.5f * k, -1.25f, 3e7f, 1e-20f, -0.0f, 7, 0.125f, 0x00ABCDEF, 1, {0, 0, 0}};
            s.Maps[k].Padding[0] = static_cast<std::uint8_t>(k);
            s.Maps[k].Padding[2] = 0xEE;
        }
    }
};

TEST_F(ObjectFile, TwoMapsMakeA102ByteFile) {
    FractalState s;
    FillAll(s, 2);
    ASSERT_TRUE(WriteObjectFile(s, dir / "two.ifs"));
    const std::string bytes = Slurp(dir / "two.ifs");
    ASSERT_EQ(bytes.size(), 102u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\xB6\xA3\x02\x00\x00\x00", 6));
    // Base point 1 x = -3, then y = 70000, little-endian.
    EXPECT_EQ(bytes.substr(6, 8), std::string("\xFD\xFF\xFF\xFF\x70\x11\x01\x00", 8));
    // Record 2 starts at 66: A = 1.0f; its colour at +28, Diffuse at +32, padding carried.
    EXPECT_EQ(bytes.substr(66, 4), std::string("\x00\x00\x80\x3F", 4));
    EXPECT_EQ(bytes.substr(66 + 28, 8), std::string("\xEF\xCD\xAB\x00\x01\x02\x00\xEE", 8));
}

TEST_F(ObjectFile, RoundTripIsByteExact) {
    for (int n : {1, 2, 57, 120}) {
        FractalState a;
        FillAll(a, n);
        const fs::path p = dir / (std::to_string(n) + ".ifs");
        ASSERT_TRUE(WriteObjectFile(a, p));
        FractalState b;
        ASSERT_TRUE(ReadObjectFile(b, p));
        EXPECT_EQ(b.MapCount, n);
        EXPECT_EQ(b.BaseTriangle, a.BaseTriangle);
        for (int k = 1; k <= n; ++k) EXPECT_EQ(std::memcmp(&a.Maps[k], &b.Maps[k], 36), 0) << k;
        // Written again, the same bytes.
        ASSERT_TRUE(WriteObjectFile(b, dir / "again.ifs"));
        EXPECT_EQ(Slurp(p), Slurp(dir / "again.ifs"));
    }
}

TEST_F(ObjectFile, ForeignBytesInRecordsSurviveTheRoundTrip) {
    // A file made elsewhere: any record bytes, odd Diffuse values, NaN payloads.
    std::string bytes("\xB6\xA3\x03\x00\x00\x00", 6);
    for (int i = 0; i < 24 + 3 * 36; ++i) bytes.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
    const fs::path p = dir / "foreign.ifs";
    Spit(p, bytes);
    FractalState s;
    ASSERT_TRUE(ReadObjectFile(s, p));
    ASSERT_TRUE(WriteObjectFile(s, dir / "out.ifs"));
    EXPECT_EQ(Slurp(dir / "out.ifs"), bytes);
}

TEST_F(ObjectFile, LongerFilesReadOnlyTheAnnouncedMaps) {
    FractalState a;
    FillAll(a, 2);
    const fs::path p = dir / "long.ifs";
    ASSERT_TRUE(WriteObjectFile(a, p));
    Spit(p, Slurp(p) + std::string(500, '\x7F'));
    FractalState b;
    FillAll(b, 0);
    b.Maps[3].Color = 0x42;
    ASSERT_TRUE(ReadObjectFile(b, p));
    EXPECT_EQ(b.MapCount, 2);
    EXPECT_EQ(b.Maps[3].Color, 0x42);  // stale records are left as they were
}

TEST_F(ObjectFile, InvalidFilesAreRefusedAndTheObjectStaysAsItWas) {
    FractalState good;
    FillAll(good, 3);
    ASSERT_TRUE(WriteObjectFile(good, dir / "good.ifs"));
    const std::string valid = Slurp(dir / "good.ifs");

    std::string swapped = valid;
    std::swap(swapped[0], swapped[1]);
    auto withCount = [&](std::int32_t n) {
        std::string b = valid;
        std::memcpy(b.data() + 2, &n, 4);
        return b;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"one byte", "\xB6"},
        {"wrong magic", swapped},
        {"magic only", "\xB6\xA3"},
        {"cut in the header", valid.substr(0, 20)},
        {"cut in the last record", valid.substr(0, valid.size() - 1)},
        {"no maps", withCount(0)},
        {"negative count", withCount(-1)},
        {"121 maps", withCount(121) + std::string(36 * 118, '\0')},
        {"huge count", withCount(0x7FFFFFFF)},
        {"count beyond the data", withCount(4)},
    };
    for (const auto& [name, bytes] : cases) {
        const fs::path p = dir / "bad.ifs";
        Spit(p, bytes);
        FractalState s;
        FillAll(s, 7);
        s.Maps[120].Padding[1] = 9;
        const TIfsObject before = s.CurrentObject();
        EXPECT_FALSE(ReadObjectFile(s, p)) << name;
        EXPECT_TRUE(s.CurrentObject() == before) << name;
    }
    FractalState s;
    EXPECT_FALSE(ReadObjectFile(s, dir / "missing.ifs"));
    EXPECT_FALSE(ReadObjectFile(s, dir));  // a folder
    EXPECT_FALSE(ReadObjectFile(s, "/dev/zero"));
}

TEST_F(ObjectFile, ExactlyOneHundredTwentyMapsAreRead) {
    FractalState a;
    FillAll(a, 120);
    const fs::path p = dir / "full.ifs";
    ASSERT_TRUE(WriteObjectFile(a, p));
    FractalState b;
    ASSERT_TRUE(ReadObjectFile(b, p));
    EXPECT_EQ(b.MapCount, 120);
    EXPECT_EQ(b.Maps[120].Padding[0], 120);
}

bool FailingWriter(int, const std::uint8_t*, std::size_t) {
    errno = ENOSPC;
    return false;
}

TEST_F(ObjectFile, AFailedWriteIsReportedAndKeepsTheOldFile) {
    FractalState s;
    FillAll(s, 2);
    const fs::path p = dir / "keep.ifs";
    Spit(p, "precious");
    EXPECT_FALSE(WriteObjectFile(s, p, FileWriter{&FailingWriter}));
    EXPECT_EQ(Slurp(p), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left

    // A file-size limit, for real, in a process that does not ignore SIGXFSZ:
    // the write fails as on a full disk instead of ending the program.
    EXPECT_EXIT(
        {
            ::signal(SIGXFSZ, SIG_DFL);
            struct rlimit small {};
            ::getrlimit(RLIMIT_FSIZE, &small);
            small.rlim_cur = 50;
            ::setrlimit(RLIMIT_FSIZE, &small);
            const bool failed = !WriteObjectFile(s, p);
            const bool kept = Slurp(p) == "precious" &&
                              std::distance(fs::directory_iterator(dir), fs::directory_iterator()) == 1;
            std::_Exit(failed && kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ObjectFile, OnlyRegularFilesAreReplaced) {
    FractalState s;
    FillAll(s, 1);
    Spit(dir / "plain", "x");
    EXPECT_FALSE(WriteObjectFile(s, dir / "plain" / "inside.ifs"));  // a path through a regular file
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(WriteObjectFile(s, dir / "folder"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(WriteObjectFile(s, dir / "pipe"));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_FALSE(WriteObjectFile(s, ""));

    // A link to a file: the file is replaced and the link stays a link.
    Spit(dir / "target.ifs", "old");
    fs::create_symlink(dir / "target.ifs", dir / "link.ifs");
    ASSERT_TRUE(WriteObjectFile(s, dir / "link.ifs"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ifs"));
    EXPECT_EQ(Slurp(dir / "target.ifs").size(), 66u);
}

// What can be checked before a long job: a folder that takes no file, a disk without room.
TEST_F(ObjectFile, TargetsAreCheckedBeforeAnyWork) {
    EXPECT_EQ(CheckTargetFile((dir / "new.bmp").string(), 1000), "");
    Spit(dir / "plain", "x");
    EXPECT_NE(CheckTargetFile((dir / "plain" / "x.bmp").string(), 10).find("Not a directory"), std::string::npos);
    const std::string full = CheckTargetFile((dir / "huge.bmp").string(), std::uint64_t{1} << 62);
    EXPECT_NE(full.find(": not enough room on the disk ("), std::string::npos) << full;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);  // no probe file left
}

TEST_F(ObjectFile, ReplacingKeepsThePermissionsOfTheOldFile) {
    FractalState s;
    FillAll(s, 1);
    const fs::path p = dir / "mode.ifs";
    Spit(p, "x");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteObjectFile(s, p));
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
}  // namespace fernweave
