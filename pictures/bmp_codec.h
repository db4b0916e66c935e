// Our BMP writer: uncompressed 24-bit, 14-byte file header, 40-byte info header,
// rows bottom-up padded to 4 bytes, the resolution in pixels per metre. BMP
// pictures are read elsewhere; here only their resolution is.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "picture.h"
#include "resolution.h"
#include "row_source.h"

namespace fernweave {

constexpr std::size_t BmpFileHeaderSize = 14;
constexpr std::size_t BmpInfoHeaderSize = 40;

std::vector<std::uint8_t> EncodeBmp(const Picture24& picture, std::uint32_t packedResolution);
// The same written as the rows come, bottom up as the file stores them:
// rows(y) gives row y, nullptr to give up. Empty when all was written, else why not.
std::string StreamBmp(int width, int height, const RowsOf& rows, std::uint32_t packedResolution,
                      const ByteSink& sink);

// Puts the resolution into the info header of BMP data (pixels per metre at
// file offsets 38 and 42). Data too short to hold the header is left unchanged.
void WriteBmpResolution(std::span<std::uint8_t> bmp, std::uint32_t packedResolution);

// The resolution in a BMP file's header, packed (X low, Y high): each
// pixels-per-metre field / 39.37, rounded half to even, low 16 bits kept; a
// negative field counts as 0. An OS/2 core header (shorter than 40 bytes, no
// such fields) gives 72 x 72. Throws std::runtime_error when the file cannot
// be read, is no BMP or ends inside the fields.
std::uint32_t ReadBmpResolution(const std::string& fileName);

// The same from the first bytes of a file (46 are enough).
std::uint32_t BmpResolutionFromHeader(std::span<const std::uint8_t> firstBytes);

}  // namespace fernweave
