#include "object_file.h"

#include <bit>
#include <cstring>

namespace fernweave {

static_assert(std::endian::native == std::endian::little, "the object file is little-endian, as is this machine");

namespace {

void PutInt32(std::vector<std::uint8_t>& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

std::int32_t GetInt32(const char* p) {
    std::uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<std::uint8_t>(p[i]);
    return static_cast<std::int32_t>(u);
}

}  // namespace

std::vector<std::uint8_t> EncodeObject(const TIfsObject& object) {
    std::vector<std::uint8_t> out;
    const int n = object.MapCount < 0 ? 0 : (object.MapCount > MaxMaps ? MaxMaps : object.MapCount);
    out.reserve(ObjectHeaderSize + MapRecordSize * static_cast<std::size_t>(n));
    out.push_back(static_cast<std::uint8_t>(IfsMagic & 0xFF));
    out.push_back(static_cast<std::uint8_t>(IfsMagic >> 8));
    PutInt32(out, object.MapCount);
    for (const TPoint& p : object.BaseTriangle) {
        PutInt32(out, p.x);
        PutInt32(out, p.y);
    }
    // The record layout is the in-memory layout, padding included.
    for (int k = 1; k <= n; ++k) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&object.Maps[k]);
        out.insert(out.end(), bytes, bytes + MapRecordSize);
    }
    return out;
}

std::optional<TIfsObject> DecodeObject(std::string_view bytes, const TIfsObject& previous) {
    if (bytes.size() < ObjectHeaderSize) return std::nullopt;
    const auto b0 = static_cast<std::uint8_t>(bytes[0]), b1 = static_cast<std::uint8_t>(bytes[1]);
    if ((b0 | (b1 << 8)) != IfsMagic) return std::nullopt;
    const std::int32_t n = GetInt32(bytes.data() + 2);
    if (n < 1 || n > MaxMaps) return std::nullopt;
    if (bytes.size() < ObjectHeaderSize + MapRecordSize * static_cast<std::size_t>(n)) return std::nullopt;

    TIfsObject object = previous;
    object.MapCount = n;
    for (int i = 0; i < 3; ++i) {
        object.BaseTriangle[i].x = GetInt32(bytes.data() + 6 + 8 * i);
        object.BaseTriangle[i].y = GetInt32(bytes.data() + 10 + 8 * i);
    }
    for (int k = 1; k <= n; ++k)
        std::memcpy(&object.Maps[k], bytes.data() + ObjectHeaderSize + MapRecordSize * static_cast<std::size_t>(k - 1),
                    MapRecordSize);
    return object;
}

bool WriteObjectFile(const FractalState& s, const std::string& fileName, FileWriter writer) {
    const auto bytes = EncodeObject(s.CurrentObject());
    return WriteFileReplacing(fileName, bytes, nullptr, writer);
}

bool ReadObjectFile(FractalState& s, const std::string& fileName) {
    std::string bytes;
    if (!ReadFilePrefix(fileName, ObjectFileMaxSize, bytes)) return false;
    const auto object = DecodeObject(bytes, s.CurrentObject());
    if (!object) return false;
    s.SetObject(*object);
    return true;
}

}  // namespace fernweave
