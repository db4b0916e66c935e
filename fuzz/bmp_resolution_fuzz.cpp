// The BMP resolution reader: from a file and from the same first bytes in
// memory it gives the same answer, or throws a reason, and nothing else.
#include <span>
#include <stdexcept>

#include "bmp_codec.h"
#include "fuzz_support.h"

using namespace fernweave;

namespace {

struct Outcome {
    bool Threw = false;
    std::uint32_t Packed = 0;
};

template <typename Read>
Outcome Attempt(Read read) {
    Outcome o;
    try {
        o.Packed = read();
    } catch (const std::runtime_error& e) {
        fernweave::fuzz::Check(e.what()[0] != '\0', "a refusal says why");
        o.Threw = true;
    }
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    static const std::string path = fuzz::ScratchPath("picture.bmp");
    fuzz::WriteScratchFile(path, data, size);
    const Outcome fromFile = Attempt([&] { return ReadBmpResolution(path); });
    const Outcome fromBytes = Attempt([&] { return BmpResolutionFromHeader(std::span(data, size)); });
    Check(fromFile.Threw == fromBytes.Threw && fromFile.Packed == fromBytes.Packed,
          "the file and its bytes give the same resolution");
    return 0;
}
