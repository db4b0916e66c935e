// The PNG decoder and resolution reader that Load Picture uses: any bytes give
// a whole picture or a refusal with a reason, and the file's resolution is the
// one its bytes hold; never a crash, a hang or a partial picture.
#include <span>
#include <stdexcept>
#include <string>

#include "fuzz_support.h"
#include "png_codec.h"

using namespace fernweave;

// As for JPEG: past a few million pixels a run only fills memory.
constexpr std::uint64_t FuzzMaxPixels = std::uint64_t{1} << 22;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    const std::span<const std::uint8_t> bytes(data, size);
    std::string error;
    const auto picture = DecodePng(bytes, &error, FuzzMaxPixels);
    fuzz::CheckDecoded(picture, error, FuzzMaxPixels);

    static const std::string path = fuzz::ScratchPath("picture.png");
    fuzz::WriteScratchFile(path, data, size);
    bool fileRefused = false, bytesRefused = false;
    std::uint32_t fromFile = 0, fromBytes = 0;
    try {
        fromFile = ReadPngResolution(path);
    } catch (const std::runtime_error&) {
        fileRefused = true;
    }
    try {
        fromBytes = PngResolutionFromBytes(bytes);
    } catch (const std::runtime_error&) {
        bytesRefused = true;
    }
    Check(fileRefused == bytesRefused && fromFile == fromBytes, "the file and its bytes agree");
    Check(!picture || !fileRefused, "a picture that loads has a resolution");
    return 0;
}
