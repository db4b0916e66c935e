// JPEG pictures through libjpeg: a baseline colour encoder for saving the
// canvas, a decoder for loading a picture as the canvas, and the resolution
// in the JFIF APP0 segment. libjpeg never ends the program here: its errors
// come back as exceptions (encoding) or as a refused picture (decoding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "picture.h"
#include "resolution.h"
#include "row_source.h"

namespace fernweave {

// Pictures larger than this many pixels are refused when loading (768 MiB as 24 bits).
constexpr std::uint64_t MaxJpegPixels = std::uint64_t{1} << 28;
// libjpeg's limit on a side (JPEG_MAX_DIMENSION).
constexpr int MaxJpegSide = 65500;
// Files larger than this are refused by LoadJpegFile.
constexpr std::size_t MaxJpegFileBytes = std::size_t{1} << 30;

// Encodes the picture as a baseline colour JPEG (libjpeg's defaults, the given
// quality with baseline tables forced) with the resolution in its JFIF header
// (units 1, dots per inch). Only the low byte of `quality` counts, as the save
// worker hands it on; that byte is then held to 1..100. Throws
// std::runtime_error when the picture is empty or libjpeg fails, and
// std::bad_alloc when memory runs out.
std::vector<std::uint8_t> EncodeJpeg(const Picture24& picture, int quality, std::uint32_t packedResolution);
// The same written as the rows come, top down: rows(y) gives row y, nullptr
// to give up. Empty when all was written, else why not.
std::string StreamJpeg(int width, int height, const RowsOf& rows, int quality, std::uint32_t packedResolution,
                       const ByteSink& sink);

// Puts the resolution into JFIF data: units 1 at J+7, X and Y big-endian at
// J+8 and J+10, where J is the offset of the first "JFIF\0" within the first
// 50 bytes. Data without that identifier, or too short to hold the fields
// after it, is left unchanged.
void WriteJpegResolution(std::span<std::uint8_t> jpeg, std::uint32_t packedResolution);

// Decodes a JPEG at full size into 24 bits: colour pictures as they are,
// grey-scale ones as their grey, CMYK and YCCK ones converted to RGB
// (inverted CMYK when the picture carries Adobe's marker, as Photoshop writes
// it). Returns nullopt, with the reason in `error` when given, for anything
// libjpeg cannot read, for data that ends early or is corrupt, for pictures
// above `maxPixels`, and when memory runs out. The picture's memory is taken
// only once its first row has decoded.
std::optional<Picture24> DecodeJpeg(std::span<const std::uint8_t> bytes, std::string* error = nullptr,
                                    std::uint64_t maxPixels = MaxJpegPixels);

// Reads a regular file of at most MaxJpegFileBytes and decodes it as above.
std::optional<Picture24> LoadJpegFile(const std::string& fileName, std::string* error = nullptr);

// The resolution in a JPEG file's JFIF header, packed (X low, Y high): units 0
// gives 72 x 72; units 1 the densities; units 2 (dots per centimetre) the
// densities x 2.54 rounded half to even, low 16 bits kept. A file whose first
// 50 bytes hold no JFIF identifier, whose units byte is above 2, or that ends
// inside the fields gives 72 x 72. Throws std::runtime_error when the file
// cannot be read.
std::uint32_t ReadJpegResolution(const std::string& fileName);

// The same from the first bytes of a file (at most 50 are looked at).
std::uint32_t JpegResolutionFromHeader(std::span<const std::uint8_t> firstBytes);

}  // namespace fernweave
