#include "save_worker.h"

#include <cctype>
#include <exception>
#include <stdexcept>

#include "bmp_codec.h"
#include "jpeg_codec.h"
#include "png_codec.h"

namespace fernweave {

TPictureFormat FormatForFileName(std::string_view fileName, TPictureFormat chosenFormat) {
    const std::string_view base = fileName.substr(fileName.find_last_of('/') + 1);
    const std::size_t dot = base.find_last_of('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string_view::npos || dot == 0) return chosenFormat;
    std::string extension(base.substr(dot + 1));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "bmp") return FormatBmp;
    if (extension == "jpg" || extension == "jpeg") return FormatJpeg;
    if (extension == "png") return FormatPng;
    return chosenFormat;
}

std::vector<std::uint8_t> EncodePicture(const Picture24& picture, int format, std::uint32_t packedResolution,
                                        int quality) {
    switch (format) {
        case FormatBmp:
            return EncodeBmp(picture, packedResolution);
        case FormatJpeg:
            // Only the low byte of the quality counts.
            return EncodeJpeg(picture, quality & 0xFF, packedResolution);
        case FormatPng:
            return EncodePng(picture, packedResolution);
        default:
            throw std::invalid_argument("unknown picture format");
    }
}

TSavePicture::TSavePicture(Picture24 bitmap, std::string fileName, int format, std::uint32_t resolution, int quality,
                           EndNotice ended, FileWriter writer)
    : FBitmap(std::move(bitmap)),
      FFileName(std::move(fileName)),
      FFormat(format),
      FResolution(resolution),
      FQuality(quality),
      ended_(std::move(ended)),
      writer_(writer) {
    thread_ = std::thread([this] { Execute(); });
}

TSavePicture::~TSavePicture() { Join(); }

void TSavePicture::Join() {
    if (thread_.joinable()) thread_.join();
}

void TSavePicture::Execute() {
    bool written = false;
    std::string error;
    try {
        const auto bytes = EncodePicture(FBitmap, FFormat, FResolution, FQuality);
        written = WriteFileReplacing(FFileName, bytes, &error, writer_);
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error";
    }
    if (ended_) ended_(written, error);
}

}  // namespace fernweave
