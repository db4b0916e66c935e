// The JPEG decoder that Load Picture uses: any bytes give a whole picture or
// a refusal with a reason, never a crash, a hang or a partial picture.
#include <span>
#include <string>

#include "fuzz_support.h"
#include "jpeg_codec.h"

using namespace fernweave;

// The program holds pictures to 2^28 pixels. Here 2^22: past a few million
// pixels a run only clears and fills memory, slowly under the sanitizers,
// and learns nothing more about the parser; the limit check itself still runs.
constexpr std::uint64_t FuzzMaxPixels = std::uint64_t{1} << 22;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto picture = DecodeJpeg(std::span<const std::uint8_t>(data, size), &error, FuzzMaxPixels);
    fuzz::CheckDecoded(picture, error, FuzzMaxPixels);
    return 0;
}
