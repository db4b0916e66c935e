// The JPEG resolution reader: a file gives the resolution of its first bytes,
// 72 x 72 when they hold none, and never throws for a readable file.
#include <span>
#include <stdexcept>

#include "fuzz_support.h"
#include "jpeg_codec.h"

using namespace fernweave;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    static const std::string path = fuzz::ScratchPath("picture.jpg");
    fuzz::WriteScratchFile(path, data, size);
    std::uint32_t fromFile = 0;
    try {
        fromFile = ReadJpegResolution(path);
    } catch (const std::runtime_error&) {
        fuzz::Broken("a readable file is never refused");
    }
    Check(fromFile == JpegResolutionFromHeader(std::span(data, size)), "the file and its bytes agree");
    return 0;
}
