// PNG pictures through libpng: a lossless 24-bit encoder for saving the canvas,
// a decoder for loading a picture as the canvas, and the resolution in the
// pHYs chunk. libpng never ends the program here: its errors come back as
// exceptions (encoding) or as a refused picture (decoding).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "picture.h"
#include "picture_job.h"
#include "resolution.h"
#include "row_source.h"

namespace fernweave {

// Pictures larger than this many pixels are refused when loading (384 MiB as 24 bits).
constexpr std::uint64_t MaxPngPixels = std::uint64_t{1} << 27;

// Encodes the picture as 8-bit RGB, with the resolution in a pHYs chunk (unit
// metre, dots per inch x 39.37 rounded half to even); no pHYs when either
// value is 0. Throws std::runtime_error when the picture is empty or libpng
// fails, and std::bad_alloc when memory runs out.
// With `object` (an object file's bytes), the picture carries it in a
// compressed text chunk keyed PngObjectKey, as hexadecimal digits.
// With `options` (the renderer's command line that makes the picture), a
// text chunk keyed PngOptionsKey holds them.
std::vector<std::uint8_t> EncodePng(const Picture24& picture, std::uint32_t packedResolution,
                                    std::span<const std::uint8_t> object = {}, const std::string& options = {});
// The same for 16-bit channels or an alpha channel (posters).
std::vector<std::uint8_t> EncodeDeepPng(const DeepPicture& picture, std::uint32_t packedResolution,
                                        std::span<const std::uint8_t> object = {}, const std::string& options = {});

// The same written as the rows come: rows(y) gives row y (as Picture24 holds
// it, or the deep samples, red first), top down, nullptr to give up; the
// bytes go to `sink`. Empty when all was written, else why not.
std::string StreamPng(int width, int height, const RowsOf& rows, std::uint32_t packedResolution,
                      std::span<const std::uint8_t> object, const std::string& options, const ByteSink& sink);
std::string StreamDeepPng(int width, int height, bool alpha, int bits, const DeepRowsOf& rows,
                          std::uint32_t packedResolution, std::span<const std::uint8_t> object,
                          const std::string& options, const ByteSink& sink);

constexpr char PngObjectKey[] = "fernweave-object";
constexpr char PngOptionsKey[] = "fernweave-options";

// The object bytes a PNG carries before its image data; nothing when there are none.
std::optional<std::vector<std::uint8_t>> PngObjectBytes(std::span<const std::uint8_t> bytes);

// Decodes a PNG into 24 bits: palette and grey pictures as their colours,
// 16-bit channels rounded to 8 bits (v / 257), transparency dropped (each
// pixel keeps its stored colour), no gamma applied. Returns nullopt, with the
// reason in `error` when given, for damaged or cut data (the file must reach
// its IEND chunk), for pictures above `maxPixels` and when memory runs out.
std::optional<Picture24> DecodePng(std::span<const std::uint8_t> bytes, std::string* error = nullptr,
                                   std::uint64_t maxPixels = MaxPngPixels);

// The resolution in a PNG file's pHYs chunk, packed (X low, Y high): unit
// metre gives pixels per metre / 39.37 rounded half to even, low 16 bits kept;
// no pHYs chunk before the image data, unit 0 (aspect ratio only), or a chunk
// that is not nine bytes long give 72 x 72. Throws std::runtime_error when the
// file cannot be read or is no PNG.
std::uint32_t ReadPngResolution(const std::string& fileName);

// The same from the bytes of a file.
std::uint32_t PngResolutionFromBytes(std::span<const std::uint8_t> bytes);

}  // namespace fernweave
