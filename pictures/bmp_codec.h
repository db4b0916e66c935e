// Our BMP writer: uncompressed 24-bit, 14-byte file header, 40-byte info header,
// rows bottom-up padded to 4 bytes, the resolution in pixels per metre.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "picture.h"
#include "resolution.h"

namespace fernweave {

constexpr std::size_t BmpFileHeaderSize = 14;
constexpr std::size_t BmpInfoHeaderSize = 40;

std::vector<std::uint8_t> EncodeBmp(const Picture24& picture, std::uint32_t packedResolution);

// Puts the resolution into the info header of BMP data (pixels per metre at
// file offsets 38 and 42). Data too short to hold the header is left unchanged.
void WriteBmpResolution(std::span<std::uint8_t> bmp, std::uint32_t packedResolution);

}  // namespace fernweave
