// The codecs behind the table of picture formats: what each format is
// written and its resolution read with. Save, Load, posters and the headless
// renderer all go through here.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "picture_formats.h"
#include "row_source.h"

namespace fernweave {

struct TPictureCodec {
    TPictureFormat Id;
    // The picture written as the rows come, in the order the format stores
    // them (a BMP bottom up). A PNG carries `object` and `options`; only the
    // low byte of `quality` counts (JPEG). Empty when all was written, else why not.
    std::string (*Stream)(int width, int height, const RowsOf& rows, std::uint32_t packedResolution, int quality,
                          std::span<const std::uint8_t> object, const std::string& options, const ByteSink& sink);
    // The resolution in a file's header, packed; throws when it cannot be read.
    std::uint32_t (*ReadResolution)(const std::string& fileName);
};

// The codec of a format; throws std::invalid_argument for one we do not have.
const TPictureCodec& CodecFor(int format);

}  // namespace fernweave
