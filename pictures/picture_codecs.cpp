#include "picture_codecs.h"

#include <stdexcept>

#include "bmp_codec.h"
#include "jpeg_codec.h"
#include "png_codec.h"

namespace fernweave {

namespace {

const TPictureCodec Codecs[] = {
    {FormatBmp,
     [](int width, int height, const RowsOf& rows, std::uint32_t resolution, int, std::span<const std::uint8_t>,
        const std::string&, const ByteSink& sink) { return StreamBmp(width, height, rows, resolution, sink); },
     ReadBmpResolution},
    {FormatJpeg,
     [](int width, int height, const RowsOf& rows, std::uint32_t resolution, int quality,
        std::span<const std::uint8_t>, const std::string&, const ByteSink& sink) {
         return StreamJpeg(width, height, rows, quality, resolution, sink);
     },
     ReadJpegResolution},
    {FormatPng,
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
