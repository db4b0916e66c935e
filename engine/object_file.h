// The object file (.ifs): magic B6 A3, the map count, the base triangle and
// one 36-byte map record per map, little-endian.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fractal_state.h"
#include "safe_file.h"

namespace fernweave {

constexpr std::uint16_t IfsMagic = 0xA3B6;
constexpr std::size_t ObjectHeaderSize = 30;
constexpr std::size_t MapRecordSize = 36;
constexpr std::size_t ObjectFileMaxSize = ObjectHeaderSize + MapRecordSize * MaxMaps;

std::vector<std::uint8_t> EncodeObject(const TIfsObject& object);
// The object a file holds, or nothing when it is not a valid object: a wrong
// magic word, a map count outside 1..120, or fewer bytes than the maps it
// announces. Records beyond the count keep the contents of `previous`.
std::optional<TIfsObject> DecodeObject(std::string_view bytes, const TIfsObject& previous);

// Writes the current object. False when the file cannot be written completely;
// an existing file is then left as it was.
bool WriteObjectFile(const FractalState& s, const std::string& fileName, FileWriter writer = {});
// Reads an object into the current object. False, with the object untouched,
// when the file cannot be read or is not a valid object.
bool ReadObjectFile(FractalState& s, const std::string& fileName);

}  // namespace fernweave
