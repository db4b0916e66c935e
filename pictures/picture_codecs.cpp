#include "picture_codecs.h"

#include <stdexcept>

#include "bmp_codec.h"
#include "jpeg_codec.h"
#include "png_codec.h"

namespace fernweave {

namespace {

const TPictureCodec Codecs[] = {
    {FormatBmp,
     [](const Picture24& picture, std::uint32_t resolution, int, std::span<const std::uint8_t>, const std::string&) {
         return EncodeBmp(picture, resolution);
     },
     [](int width, int height, const RowsOf& rows, std::uint32_t resolution, int, std::span<const std::uint8_t>,
        const std::string&, const ByteSink& sink) { return StreamBmp(width, height, rows, resolution, sink); },
     ReadBmpResolution},
    {FormatJpeg,
     [](const Picture24& picture, std::uint32_t resolution, int quality, std::span<const std::uint8_t>,
        const std::string&) { return EncodeJpeg(picture, quality & 0xFF, resolution); },
     [](int width, int height, const RowsOf& rows, std::uint32_t resolution, int quality,
        std::span<const std::uint8_t>, const std::string&, const ByteSink& sink) {
         return StreamJpeg(width, height, rows, quality & 0xFF, resolution, sink);
     },
     ReadJpegResolution},
    {FormatPng,
     [](const Picture24& picture, std::uint32_t resolution, int, std::span<const std::uint8_t> object,
        const std::string& options) { return EncodePng(picture, resolution, object, options); },
     [](int width, int height, const RowsOf& rows, std::uint32_t resolution, int, std::span<const std::uint8_t> object,
        const std::string& options, const ByteSink& sink) {
         return StreamPng(width, height, rows, resolution, object, options, sink);
     },
     ReadPngResolution},
};

}  // namespace

const TPictureCodec& CodecFor(int format) {
    for (const TPictureCodec& codec : Codecs)
        if (codec.Id == format) return codec;
    throw std::invalid_argument("unknown picture format");
}

}  // namespace fernweave
