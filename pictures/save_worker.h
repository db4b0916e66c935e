// TSavePicture: encodes and writes a copy of the canvas on a thread of its own,
// so the window never waits for the disk or the encoder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "picture.h"
#include "picture_formats.h"
#include "picture_job.h"
#include "row_source.h"
#include "safe_file.h"
#include "worker.h"

namespace fernweave {

// The format a picture is written in: the one its file name's extension names
// (.bmp, .jpg, .jpeg, .png in any letter case), else the chosen one. A name
// like "x.png" thus never holds BMP bytes that Load would then refuse.
inline TPictureFormat FormatForFileName(std::string_view fileName, TPictureFormat chosenFormat) {
    const TPictureFormatInfo* named = FormatInfoForFileName(fileName);
    return named ? named->Id : chosenFormat;
}

// The size of the file a picture of this size makes: exact for BMP, an upper
// estimate for PNG and JPEG (their pixels as they are, as if nothing compressed).
// `pixelBytes`: 6 or 8 for a 16-bit or transparent PNG.
std::uint64_t PictureFileBytes(int format, int width, int height, int pixelBytes = 3);
// Why the format cannot hold a picture of this size; empty when it can.
std::string PictureSizeProblem(int format, int width, int height);

// The bytes of a picture file in the given format; throws when encoding fails.
// A PNG picture also carries `object` (an object file's bytes) and `options`
// (the renderer's options that make it) when there are.
std::vector<std::uint8_t> EncodePicture(const Picture24& picture, int format, std::uint32_t packedResolution,
                                        int quality, std::span<const std::uint8_t> object = {},
                                        const std::string& options = {});

// Renders the job band by band into `path`, each band written as it is done,
// so that the picture is never whole in memory. A PNG carries `object` and
// `options`. False with the reason in `error`; the old file is then intact.
bool WriteBandedPicture(const std::string& path, BandedRendering& rendering, const PictureJob& job, int format,
                        std::uint32_t packedResolution, int quality, std::span<const std::uint8_t> object,
                        const std::string& options, std::string* error, FileWriter writer = {});

class TSavePicture : public TWorker {
public:
    // Takes its own copy of the picture and starts at once; the end notice is
    // in place before the work begins.
    TSavePicture(Picture24 bitmap, std::string fileName, int format, std::uint32_t resolution, int quality,
                 EndNotice ended, FileWriter writer = {}, std::vector<std::uint8_t> object = {});
    ~TSavePicture() override { Stop(); }

    // A save always runs to its end: the user asked for the file.
    void Cancel() override {}
    // After the end notice: whether the file was written completely, and why not.
    bool Written() const { return written_; }
    const std::string& Error() const { return error_; }

private:
    void Execute();

    Picture24 FBitmap;
    std::string FFileName;
    int FFormat;
    std::uint32_t FResolution;
    int FQuality;
    FileWriter writer_;
    std::vector<std::uint8_t> object_;  // what a PNG carries
    bool written_ = false;
    std::string error_;
};

}  // namespace fernweave
