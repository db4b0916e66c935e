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

#include "fractal_state.h"
#include "jpeg_codec.h"
#include "png_codec.h"
#include "renderer.h"
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

// A picture written band by band as it renders is the file of the whole
// picture; a full disk or a stop leaves the old file.
TEST_F(SaveWorker, ABandedPictureIsTheFileOfTheWhole) {
    FractalState s;
    s.BeginDrawing();
    const int corners[4][6] = {{10, 10, 190, 10, 10, 130}, {10, 10, 100, 10, 10, 70}, {100, 10, 190, 10, 100, 70},
                               {10, 70, 100, 70, 10, 130}};
    for (int t = 0; t < 4; ++t)
        for (int v = 0; v < 3; ++v)
            s.AddPoint(2 * corners[t][2 * v], 2 * corners[t][2 * v + 1], MakeColor(60 * t, 200, 255 - 60 * t), t == 2);
    PrepareRendering(s);
    PictureJob job;
    job.Width = 200;
    job.Height = 140;
    job.Steps = 60000;
    job.Density = true;
    job.Supersample = 2;
    Picture24 whole;
    ASSERT_EQ(RenderPicture(s, job, {}, whole).Steps, job.Steps);
    const std::uint32_t resolution = PackResolution({300, 300});
    const std::vector<std::uint8_t> object = {1, 2, 3};
    for (const TPictureFormat format : {FormatBmp, FormatJpeg, FormatPng}) {
        BandedRendering banded(s, job, {}, 33);
        std::string error;
        ASSERT_TRUE(WriteBandedPicture(dir / "p", banded, job, format, resolution, 90, object, "o", &error)) << error;
        const std::vector<std::uint8_t> bytes =
            format == FormatPng ? EncodePng(whole, resolution, object, "o") : EncodePicture(whole, format, resolution, 90);
        EXPECT_EQ(Slurp(dir / "p"), std::string(bytes.begin(), bytes.end())) << format;
    }
    std::ofstream(dir / "old.png") << "precious";
    std::string error;
    BandedRendering full(s, job, {}, 33);
    EXPECT_FALSE(WriteBandedPicture(dir / "old.png", full, job, FormatPng, resolution, 90, {}, {}, &error,
                                    FileWriter{&FullDisk}));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    std::atomic<bool> stop{true};
    ParallelOptions stopped;
    stopped.Stop = &stop;
    BandedRendering cancelled(s, job, stopped, 33);
    EXPECT_FALSE(WriteBandedPicture(dir / "old.png", cancelled, job, FormatPng, resolution, 90, {}, {}, &error));
    EXPECT_EQ(Slurp(dir / "old.png"), "precious");
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
