// The object file reader: DecodeObject on the bytes, then ReadObjectFile on
// the same bytes as a file. Both must agree, and what they accept must be
// exactly what the encoder writes back.
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz_support.h"
#include "object_file.h"

using namespace fernweave;

namespace {

// The object before the import, with every record recognisable, so that a
// record beyond the new count that changed would show.
TIfsObject PreviousObject() {
    TIfsObject o;
    o.MapCount = 3;
    o.BaseTriangle = {TPoint{1, 2}, TPoint{300, 4}, TPoint{5, 200}};
    for (int k = 1; k <= MaxMaps; ++k) {
        o.Maps[k] = TIfsMap{0.5f, 0, static_cast<float>(k), 0, 0.5f, 1, 0.25f, 0x00102030 + k, 1, {0, 0, 0}};
        o.Maps[k].Padding[1] = static_cast<std::uint8_t>(k);
    }
    return o;
}

bool SameBytes(const TIfsObject& a, const TIfsObject& b) {
    // Compared as stored, so that NaN coefficients compare equal to themselves.
    return a.MapCount == b.MapCount && a.BaseTriangle == b.BaseTriangle &&
           std::memcmp(a.Maps.data(), b.Maps.data(), sizeof a.Maps) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    static const TIfsObject previous = PreviousObject();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const auto decoded = DecodeObject(bytes, previous);
    if (decoded) {
        const int n = decoded->MapCount;
        Check(n >= 1 && n <= MaxMaps, "decoded map count within 1..120");
        const std::size_t used = ObjectHeaderSize + MapRecordSize * static_cast<std::size_t>(n);
        Check(size >= used, "decoded from enough bytes");
        const auto encoded = EncodeObject(*decoded);
        Check(encoded.size() == used && std::memcmp(encoded.data(), data, used) == 0,
              "the encoder writes back the bytes that were read");
        for (int k = n + 1; k <= MaxMaps; ++k)
            Check(std::memcmp(&decoded->Maps[k], &previous.Maps[k], MapRecordSize) == 0,
                  "records beyond the count keep the previous object");
    }

    // The same through a file, as Import reads it.
    const std::string path = fuzz::ScratchPath("object.ifs");
    fuzz::WriteScratchFile(path, data, size);
    auto state = std::make_unique<FractalState>();
    state->SetObject(previous);
    const bool read = ReadObjectFile(*state, path);
    Check(read == decoded.has_value(), "the file and the bytes are judged alike");
    Check(SameBytes(state->CurrentObject(), read ? *decoded : previous),
          "a read object is the decoded one; a refused file leaves the object as it was");
    return 0;
}
