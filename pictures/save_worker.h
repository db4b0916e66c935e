// TSavePicture: encodes and writes a copy of the canvas on a thread of its own,
// so the window never waits for the disk or the encoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "picture.h"
#include "safe_file.h"

namespace fernweave {

enum TPictureFormat : int { FormatBmp = 1, FormatJpeg = 2, FormatPng = 3 };

// The format a picture is written in: the one its file name's extension names
// (.bmp, .jpg, .jpeg, .png in any letter case), else the chosen one. A name
// like "x.png" thus never holds BMP bytes that Load would then refuse.
TPictureFormat FormatForFileName(std::string_view fileName, TPictureFormat chosenFormat);

// The bytes of a picture file in the given format; throws when encoding fails.
std::vector<std::uint8_t> EncodePicture(const Picture24& picture, int format, std::uint32_t packedResolution,
                                        int quality);

class TSavePicture {
public:
    // Called on the worker thread when the work is over, with whether the file
    // was written completely; it must only hand the end over to the window.
    using EndNotice = std::function<void(bool written, const std::string& error)>;

    // Takes its own copy of the picture and starts at once; the end notice is
    // in place before the work begins.
    TSavePicture(Picture24 bitmap, std::string fileName, int format, std::uint32_t resolution, int quality,
                 EndNotice ended, FileWriter writer = {});
    ~TSavePicture();
    TSavePicture(const TSavePicture&) = delete;
    TSavePicture& operator=(const TSavePicture&) = delete;

    void Join();

private:
    void Execute();

    Picture24 FBitmap;
    std::string FFileName;
    int FFormat;
    std::uint32_t FResolution;
    int FQuality;
    EndNotice ended_;
    FileWriter writer_;
    std::thread thread_;
};

}  // namespace fernweave
