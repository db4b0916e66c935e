#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "resolution.h"
#include "save_worker.h"

namespace fernweave {
namespace {

namespace fs = std::filesystem;

// Runs one save and waits for its end notice.
struct SaveResult {
    bool written = false;
    std::string error;
};

SaveResult Save(const Picture24& picture, const std::string& file, int format, FileWriter writer = {}) {
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    SaveResult result;
    TSavePicture worker(picture, file, format, PackResolution({300, 150}), 90,
                        [&](TWorker& saved) {
                            std::lock_guard lock(m);
                            const auto& save = static_cast<TSavePicture&>(saved);
                            result = {save.Written(), save.Error()};
                            ended = true;
                            cv.notify_one();
                        },
                        writer);
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return ended; });
    return result;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool FullDisk(int, const std::uint8_t*, std::size_t) {
    errno = ENOSPC;
    return false;
}

class SaveWorker : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/fernweave-saveXXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(SaveWorker, TheTypeDecidesTheFormat) {
    const Picture24 picture(30, 20, MakeColor(10, 200, 30));
    ASSERT_TRUE(Save(picture, dir / "a.jpg", FormatBmp).written);
    EXPECT_EQ(Slurp(dir / "a.jpg").substr(0, 2), "BM");
    ASSERT_TRUE(Save(picture, dir / "b.bmp", FormatJpeg).written);
    EXPECT_EQ(Slurp(dir / "b.bmp").substr(0, 2), "\xFF\xD8");
    ASSERT_TRUE(Save(picture, dir / "c.bmp", FormatPng).written);
    EXPECT_EQ(Slurp(dir / "c.bmp").substr(0, 4), "\x89PNG");
}

TEST(FormatForFileName, AWrittenExtensionWinsOverTheChosenType) {
    EXPECT_EQ(FormatForFileName("/d/x.png", FormatBmp), FormatPng);
    EXPECT_EQ(FormatForFileName("x.JPEG", FormatPng), FormatJpeg);
    EXPECT_EQ(FormatForFileName("x.Jpg", FormatBmp), FormatJpeg);
    EXPECT_EQ(FormatForFileName("x.bMp", FormatJpeg), FormatBmp);
    // No extension we write: the chosen type.
    EXPECT_EQ(FormatForFileName("x.gif", FormatJpeg), FormatJpeg);
    EXPECT_EQ(FormatForFileName("x.png.txt", FormatBmp), FormatBmp);
    EXPECT_EQ(FormatForFileName("/d.png/x", FormatJpeg), FormatJpeg);
    EXPECT_EQ(FormatForFileName("/d/.png", FormatBmp), FormatBmp);
    EXPECT_EQ(FormatForFileName("x.", FormatPng), FormatPng);
}

TEST_F(SaveWorker, FailuresAreReportedAndKeepTheOldFile) {
    const Picture24 picture(30, 20);
    std::ofstream(dir / "old.bmp") << "precious";
    // The encoder fails: a picture with nothing in it.
    SaveResult r = Save(Picture24(), dir / "old.bmp", FormatJpeg);
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.error.empty());
    // The disk is full.
    EXPECT_FALSE(Save(picture, dir / "old.bmp", FormatBmp, FileWriter{&FullDisk}).written);
    // An unknown format writes nothing.
    EXPECT_FALSE(Save(picture, dir / "old.bmp", 4).written);
    EXPECT_EQ(Slurp(dir / "old.bmp"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// The names in the save's folder while its bytes are being written.
struct TListingWriter {
    static inline fs::path folder;
    static inline std::vector<std::string> seen;
    static bool Write(int fd, const std::uint8_t* data, std::size_t size) {
        for (const auto& entry : fs::directory_iterator(folder)) seen.push_back(entry.path().filename().string());
        return WriteAllToDescriptor(fd, data, size);
    }
};

// A kill during a save leaves no partial file where the file system has
// unnamed files; where it has not, the next save of the target removes them.
TEST_F(SaveWorker, PartialFilesAreUnnamedOrRemovedAtTheNextSave) {
    const int probe = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe >= 0) {
        ::close(probe);
        TListingWriter::folder = dir;
        TListingWriter::seen.clear();
        ASSERT_TRUE(Save(Picture24(4, 4), dir / "a.bmp", FormatBmp, FileWriter{&TListingWriter::Write}).written);
        EXPECT_TRUE(TListingWriter::seen.empty()) << TListingWriter::seen.front();
    }
    const auto partial = [&](const std::string& name, bool old) {
        std::ofstream(dir / name) << "partial";
        if (old) fs::last_write_time(dir / name, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    };
    partial(".a.bmp.AbC123", true);   // left by a killed save of a.bmp
    partial(".a.bmp.XyZ789", false);  // a save that may still be under way
    partial(".a.bmp.AbC1234", true);  // not of our pattern
    partial(".b.bmp.AbC123", true);   // another target's
    ASSERT_TRUE(Save(Picture24(4, 4), dir / "a.bmp", FormatBmp).written);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".a.bmp.AbC1234", ".a.bmp.XyZ789", ".b.bmp.AbC123", "a.bmp"}));
}

}  // namespace
}  // namespace fernweave
