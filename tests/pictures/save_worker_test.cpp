#include <gtest/gtest.h>

#include <cerrno>
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
                        [&](bool written, const std::string& error) {
                            std::lock_guard lock(m);
                            result = {written, error};
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

}  // namespace
}  // namespace fernweave
