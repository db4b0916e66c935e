#include "save_worker.h"

#include <exception>
#include <stdexcept>

#include "bmp_codec.h"
#include "jpeg_codec.h"
#include "png_codec.h"

namespace fernweave {

std::vector<std::uint8_t> EncodePicture(const Picture24& picture, int format, std::uint32_t packedResolution,
                                        int quality, std::span<const std::uint8_t> object) {
    switch (format) {
        case FormatBmp:
            return EncodeBmp(picture, packedResolution);
        case FormatJpeg:
            // Only the low byte of the quality counts.
            return EncodeJpeg(picture, quality & 0xFF, packedResolution);
        case FormatPng:
            return EncodePng(picture, packedResolution, object);
        default:
            throw std::invalid_argument("unknown picture format");
    }
}

TSavePicture::TSavePicture(Picture24 bitmap, std::string fileName, int format, std::uint32_t resolution, int quality,
                           EndNotice ended, FileWriter writer, std::vector<std::uint8_t> object)
    : FBitmap(std::move(bitmap)),
      FFileName(std::move(fileName)),
      FFormat(format),
      FResolution(resolution),
      FQuality(quality),
      ended_(std::move(ended)),
      writer_(writer),
      object_(std::move(object)) {
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
        const auto bytes = EncodePicture(FBitmap, FFormat, FResolution, FQuality, object_);
        written = WriteFileReplacing(FFileName, bytes, &error, writer_);
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error";
    }
    if (ended_) ended_(written, error);
}

}  // namespace fernweave
