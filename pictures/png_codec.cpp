#include "png_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <charconv>
#include <functional>
#include <new>
#include <stdexcept>
#include <string_view>

#include <png.h>

#include "picture_budget.h"

namespace fernweave {

// How libpng is kept from ending the program: its error handler longjmps back
// to the one function that called setjmp. Those functions hold nothing with a
// destructor between the setjmp and the libpng calls, so the jump skips no C++
// clean-up; everything owned lives in the job their callers declare.

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Deflate packs at most about 1032 bytes into one; image data announcing more
// than this many times the file's size cannot be in the file.
constexpr std::uint64_t MaxInflation = 1100;
// Text and profile chunks are skipped or dropped; none needs more than this.
constexpr png_alloc_size_t MaxChunkBytes = 8000000;
constexpr png_uint_32 MaxCachedChunks = 1000;

std::uint32_t Get32BE(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct Job {
    std::span<const std::uint8_t> input;
    std::size_t position = 0;
    const ByteSink* output = nullptr;
    char message[200] = "";
};

Job& JobOf(png_structp png) { return *static_cast<Job*>(png_get_error_ptr(png)); }

void ErrorFn(png_structp png, png_const_charp message) {
    std::snprintf(JobOf(png).message, sizeof JobOf(png).message, "%s", message);
    png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp) {}  // nothing goes to the terminal

void ReadFn(png_structp png, png_bytep data, png_size_t length) {
    Job& job = *static_cast<Job*>(png_get_io_ptr(png));
    if (job.input.size() - job.position < length) png_error(png, "the file ends early");
    std::memcpy(data, job.input.data() + job.position, length);
    job.position += length;
}

void WriteFn(png_structp png, png_bytep data, png_size_t length) {
    Job& job = *static_cast<Job*>(png_get_io_ptr(png));
    if (!(*job.output)(data, length)) png_error(png, "not written");
}

void FlushFn(png_structp) {}

// Every chunk up to IEND must lie wholly within the file. libpng only warns
// about a length it finds too large, and for text chunks takes (and clears)
// the memory that length names before it finds the file ends: a few bytes
// claiming 2 GiB would cost 2 GiB.
bool ChunksWithinFile(std::span<const std::uint8_t> bytes) {
    std::uint64_t at = 8;
    while (at + 8 <= bytes.size()) {
        const std::uint64_t length = Get32BE(bytes.data() + at);
        if (length > 0x7FFFFFFF || bytes.size() - at - 8 < length + 4) return false;
        if (std::memcmp(bytes.data() + at + 4, "IEND", 4) == 0) return true;
        at += 12 + length;
    }
    return false;
}

// The pixels go straight into the picture's rows. Running out of memory
// throws std::bad_alloc out of here, past no libpng frame.
bool DecodeCore(png_structp png, png_infop info, Job& job, std::uint64_t maxPixels, Picture24& picture) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &job, ReadFn);
    png_set_user_limits(png, MaxPictureSide, MaxPictureSide);
    // What a chunk, or a compressed one once inflated, may take, and how
    // many ancillary chunks are kept.
    png_set_chunk_malloc_max(png, std::min<png_alloc_size_t>(MaxChunkBytes, job.input.size()));
    png_set_chunk_cache_max(png, MaxCachedChunks);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    if (!PictureWithinBudget(width, height, maxPixels)) png_error(png, "the picture is too large");
    const std::uint64_t rawRow = (std::uint64_t{width} * depth * png_get_channels(png, info) + 7) / 8 + 1;
    if (rawRow * height > MaxInflation * job.input.size()) png_error(png, "the image data is missing");
    // Palette and small grey depths to 8 bits. Transparency (an alpha channel,
    // or tRNS, which the palette expansion turns into one) is dropped: each
    // pixel keeps its stored colour.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_scale_16(png);
    png_set_strip_alpha(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{width} * 3) png_error(png, "unexpected pixel layout");
    // Row by row, each pass of an interlaced picture over the rows it has:
    // no row pointers, so a picture one pixel wide costs only its rows.
    picture.Reset(static_cast<int>(width), static_cast<int>(height));
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, picture.Row(static_cast<int>(y)), nullptr);
    png_read_end(png, nullptr);  // a file cut after its image data is cut all the same
    return true;
}

// What an encoding writes: the header's fields, the rows one at a time and the text chunks.
struct EncodeLayout {
    png_uint_32 width = 0, height = 0;
    int depth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool bgr = false;
    const std::function<png_bytep(png_uint_32 y)>* rowOf = nullptr;  // nullptr: give up
    png_textp texts = nullptr;
    int textCount = 0;
};

bool EncodeCore(png_structp png, png_infop info, Job& job, const EncodeLayout& layout, TResolution resolution) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &job, WriteFn, FlushFn);
    png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (resolution.X != 0 && resolution.Y != 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(PixelsPerMetre(resolution.X)),
                     static_cast<png_uint_32>(PixelsPerMetre(resolution.Y)), PNG_RESOLUTION_METER);
    if (layout.textCount > 0) png_set_text(png, info, layout.texts, layout.textCount);
    png_write_info(png, info);
    if (layout.bgr) png_set_bgr(png);
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        const png_bytep row = (*layout.rowOf)(y);
        if (!row) png_error(png, "stopped");
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

// Walks the chunks before the image data; `read` fills n bytes at an offset, false past the end.
std::uint32_t ResolutionFromChunks(const std::function<bool(std::uint64_t, std::uint8_t*, std::size_t)>& read) {
    std::uint8_t head[8];
    if (!read(0, head, 8) || std::memcmp(head, Signature, 8) != 0) throw std::runtime_error("not a PNG picture");
    const std::uint32_t fallback = PackResolution({72, 72});
    std::uint64_t at = 8;
    while (read(at, head, 8)) {
        const std::uint32_t length = Get32BE(head);
        if (std::memcmp(head + 4, "IDAT", 4) == 0 || std::memcmp(head + 4, "IEND", 4) == 0) break;
        if (std::memcmp(head + 4, "pHYs", 4) == 0) {
            std::uint8_t body[9];
            if (length != 9 || !read(at + 8, body, 9) || body[8] != PNG_RESOLUTION_METER) return fallback;
            const std::uint32_t x = Get32BE(body), y = Get32BE(body + 4);
            if (x > 0x7FFFFFFF || y > 0x7FFFFFFF) return fallback;  // beyond what the format allows
            return PackResolution({DotsPerInch(static_cast<std::int32_t>(x)), DotsPerInch(static_cast<std::int32_t>(y))});
        }
        at += std::uint64_t{12} + length;  // length, type, data, CRC
    }
    return fallback;
}

// The object's bytes as text (a compressed text chunk holds Latin-1 without NUL): two hexadecimal digits a byte.
std::string HexOf(std::span<const std::uint8_t> bytes) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += Digits[b >> 4];
        text += Digits[b & 15];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> BytesOfHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char* pair = text.data() + 2 * i;
        if (std::from_chars(pair, pair + 2, bytes[i], 16).ptr != pair + 2) return std::nullopt;
    }
    return bytes;
}

// The object chunk's text, from the chunks before the image data.
bool ObjectTextCore(png_structp png, png_infop info, Job& job, std::string& text) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &job, ReadFn);
    // An object's text is a few kilobytes: a chunk that inflates far beyond is refused.
    png_set_chunk_malloc_max(png, 1 << 20);
    png_read_info(png, info);
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i)
        if (std::strcmp(texts[i].key, PngObjectKey) == 0) {
            text.assign(texts[i].text, texts[i].text_length);
            return true;
        }
    return false;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> PngObjectBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8 || std::memcmp(bytes.data(), Signature, 8) != 0) return std::nullopt;
    // libpng allocates a text chunk's claimed length before it reads it.
    if (!ChunksWithinFile(bytes)) return std::nullopt;
    Job job;
    job.input = bytes;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, ErrorFn, WarningFn);
    if (!png) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    std::string text;
    bool found = false;
    try {
        found = info && ObjectTextCore(png, info, job, text);
    } catch (const std::bad_alloc&) {
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!found) return std::nullopt;
    return BytesOfHex(text);
}

namespace {

// Empty when all was written, else why not. A row source's exception comes
// out after libpng's memory is given back.
std::string Encode(EncodeLayout layout, std::uint32_t packedResolution, std::span<const std::uint8_t> object,
                   const std::string& options, const ByteSink& sink) {
    Job job;
    job.output = &sink;
    // The object as hexadecimal digits (a text chunk holds no NUL), compressed; the options as they are.
    std::string objectHex = HexOf(object);
    std::string optionsText = options;
    png_text texts[2]{};
    const auto addText = [&](int compression, const char* key, std::string& text) {
        if (text.empty()) return;
        png_text& t = texts[layout.textCount++];
        t.compression = compression;
        t.key = const_cast<char*>(key);
        t.text = text.data();
        t.text_length = text.size();
    };
    addText(PNG_TEXT_COMPRESSION_zTXt, PngObjectKey, objectHex);
    addText(PNG_TEXT_COMPRESSION_NONE, PngOptionsKey, optionsText);
    layout.texts = texts;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, ErrorFn, WarningFn);
    if (!png) throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    bool done = false;
    try {
        done = info && EncodeCore(png, info, job, layout, UnpackResolution(packedResolution));
    } catch (...) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        throw;
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (done) return {};
    if (std::strcmp(job.message, "out of memory") == 0) throw std::bad_alloc();
    return job.message;
}

}  // namespace

std::string StreamPng(int width, int height, const RowsOf& rows, std::uint32_t packedResolution,
                      std::span<const std::uint8_t> object, const std::string& options, const ByteSink& sink) {
    if (width <= 0 || height <= 0) throw std::runtime_error("the picture is empty");
    const std::function<png_bytep(png_uint_32)> rowOf = [&](png_uint_32 y) {
        return const_cast<png_bytep>(rows(static_cast<int>(y)));
    };
    return Encode({.width = static_cast<png_uint_32>(width), .height = static_cast<png_uint_32>(height), .bgr = true,
                   .rowOf = &rowOf},
                  packedResolution, object, options, sink);
}

std::string StreamDeepPng(int width, int height, bool alpha, int bits, const DeepRowsOf& rows,
                          std::uint32_t packedResolution, std::span<const std::uint8_t> object,
                          const std::string& options, const ByteSink& sink) {
    if (width <= 0 || height <= 0) throw std::runtime_error("the picture is empty");
    const std::size_t samples = static_cast<std::size_t>(width) * (alpha ? 4 : 3);
    const std::size_t bytes = bits == 16 ? 2 : 1;
    std::vector<std::uint8_t> row(samples * bytes);
    const std::function<png_bytep(png_uint_32)> rowOf = [&](png_uint_32 y) -> png_bytep {
        const std::uint16_t* from = rows(static_cast<int>(y));
        if (!from) return nullptr;
        for (std::size_t i = 0; i < samples; ++i) {
            if (bytes == 2) {
                row[2 * i] = static_cast<std::uint8_t>(from[i] >> 8);  // big-endian, as PNG stores them
                row[2 * i + 1] = static_cast<std::uint8_t>(from[i]);
            } else {
                row[i] = static_cast<std::uint8_t>(from[i]);
            }
        }
        return row.data();
    };
    return Encode({.width = static_cast<png_uint_32>(width), .height = static_cast<png_uint_32>(height),
                   .depth = bits == 16 ? 16 : 8, .colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                   .rowOf = &rowOf},
                  packedResolution, object, options, sink);
}

std::vector<std::uint8_t> EncodePng(const Picture24& picture, std::uint32_t packedResolution,
                                    std::span<const std::uint8_t> object, const std::string& options) {
    return EncodeInMemory("PNG", [&](const ByteSink& sink) {
        return StreamPng(picture.Width(), picture.Height(), [&](int y) { return picture.Row(y); }, packedResolution,
                         object, options, sink);
    });
}

std::vector<std::uint8_t> EncodeDeepPng(const DeepPicture& picture, std::uint32_t packedResolution,
                                        std::span<const std::uint8_t> object, const std::string& options) {
    const std::size_t samples = static_cast<std::size_t>(picture.Width) * (picture.Alpha ? 4 : 3);
    return EncodeInMemory("PNG", [&](const ByteSink& sink) {
        return StreamDeepPng(picture.Width, picture.Height, picture.Alpha, picture.Bits,
                             [&](int y) { return picture.Samples.data() + static_cast<std::size_t>(y) * samples; },
                             packedResolution, object, options, sink);
    });
}

std::optional<Picture24> DecodePng(std::span<const std::uint8_t> bytes, std::string* error, std::uint64_t maxPixels) {
    const auto fail = [&](const char* why) -> std::optional<Picture24> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.size() < 8 || std::memcmp(bytes.data(), Signature, 8) != 0) return fail("not a PNG picture");
    if (!ChunksWithinFile(bytes)) return fail("a chunk runs past the end of the file");
    Job job;
    job.input = bytes;
    Picture24 picture;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, ErrorFn, WarningFn);
    if (!png) return fail("out of memory");
    png_infop info = png_create_info_struct(png);
    bool done = false;
    try {
        done = info && DecodeCore(png, info, job, maxPixels, picture);
    } catch (const std::bad_alloc&) {
        std::snprintf(job.message, sizeof job.message, "out of memory");
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!done) return fail(job.message);
    return picture;
}

std::uint32_t PngResolutionFromBytes(std::span<const std::uint8_t> bytes) {
    return ResolutionFromChunks([&](std::uint64_t at, std::uint8_t* to, std::size_t n) {
        if (at > bytes.size() || bytes.size() - at < n) return false;
        std::memcpy(to, bytes.data() + at, n);
        return true;
    });
}

std::uint32_t ReadPngResolution(const std::string& fileName) {
    const auto fail = [&](const std::string& why) {
        return std::runtime_error("Cannot read the resolution of the picture: " + fileName + ": " + why);
    };
    // Non-blocking, so that a pipe put in the picture's place cannot hang the window.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw fail(std::strerror(errno));
    struct TClosedOnExit {
        int fd;
        ~TClosedOnExit() { ::close(fd); }
    } closed{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw fail("not a regular file");
    try {
        return ResolutionFromChunks([&](std::uint64_t at, std::uint8_t* to, std::size_t n) {
            return static_cast<std::size_t>(::pread(fd, to, n, static_cast<off_t>(at))) == n;
        });
    } catch (const std::runtime_error& e) {
        throw fail(e.what());
    }
}

}  // namespace fernweave
