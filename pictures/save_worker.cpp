#include "save_worker.h"

#include <exception>
#include <stdexcept>
#include <string>

#include "bmp_codec.h"
#include "jpeg_codec.h"
#include "picture_codecs.h"
#include "png_codec.h"

namespace fernweave {

std::uint64_t PictureFileBytes(int format, int width, int height, int pixelBytes) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (format == FormatBmp) return BmpFileHeaderSize + BmpInfoHeaderSize + Picture24::StrideFor(width) * static_cast<std::uint64_t>(height);
    // PNG stores incompressible rows with a filter byte each and 5 bytes a deflate block.
    return pixels * static_cast<std::uint64_t>(pixelBytes) + static_cast<std::uint64_t>(height) * 2 + pixels / 4096 + 4096;
}

std::string PictureSizeProblem(int format, int width, int height) {
    if (format == FormatBmp && PictureFileBytes(format, width, height) > 0xFFFFFFFFu)
        return "a BMP file must stay under 4 GiB; choose PNG for this size";
    if (format == FormatJpeg && (width > MaxJpegSide || height > MaxJpegSide))
        return "a JPEG picture may be at most " + std::to_string(MaxJpegSide) + " pixels on a side; choose PNG for this size";
    return {};
}

std::vector<std::uint8_t> EncodePicture(const Picture24& picture, int format, std::uint32_t packedResolution,
                                        int quality, std::span<const std::uint8_t> object, const std::string& options) {
    const TPictureCodec& codec = CodecFor(format);
    // A BMP's size is known exactly.
    const std::size_t size = format == FormatBmp ? PictureFileBytes(format, picture.Width(), picture.Height()) : 0;
    return EncodeInMemory(
        FormatInfo(codec.Id).Name,
        [&](const ByteSink& sink) {
            return codec.Stream(picture.Width(), picture.Height(), [&](int y) { return picture.Row(y); },
                                packedResolution, quality, object, options, sink);
        },
        size);
}

bool WriteBandedPicture(const std::string& path, BandedRendering& rendering, const PictureJob& job, int format,
                        std::uint32_t packedResolution, int quality, std::span<const std::uint8_t> object,
                        const std::string& options, std::string* error, FileWriter writer) {
    if (job.Deep() && format != FormatPng)
        throw std::invalid_argument("a transparent or 16-bit picture can be written only as PNG");
    return WriteFileProducing(
        path,
        [&](const ByteSink& sink) {
            if (job.Deep())
                return StreamDeepPng(job.Width, job.Height, job.Transparent, job.Bits,
                                     [&](int y) { return rendering.DeepRow(y); }, packedResolution, object, options,
                                     sink);
            return CodecFor(format).Stream(job.Width, job.Height, [&](int y) { return rendering.Row(y); },
                                           packedResolution, quality, object, options, sink);
        },
        error, writer);
}

TSavePicture::TSavePicture(Picture24 bitmap, std::string fileName, int format, std::uint32_t resolution, int quality,
                           EndNotice ended, FileWriter writer, std::vector<std::uint8_t> object)
    : TWorker(std::move(ended)),
      FBitmap(std::move(bitmap)),
      FFileName(std::move(fileName)),
      FFormat(format),
      FResolution(resolution),
      FQuality(quality),
      writer_(writer),
      object_(std::move(object)) {
    Start([this] { Execute(); });
}

void TSavePicture::Execute() {
    try {
        const auto bytes = EncodePicture(FBitmap, FFormat, FResolution, FQuality, object_);
        written_ = WriteFileReplacing(FFileName, bytes, &error_, writer_);
    } catch (const std::exception& e) {
        error_ = e.what();
    } catch (...) {
        error_ = "unknown error";
    }
}

}  // namespace fernweave
