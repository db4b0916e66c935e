#include "png_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>

#include <png.h>

#include "bmp_codec.h"
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
    std::vector<std::uint8_t>* output = nullptr;
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
    bool stored = false;
    try {
        job.output->insert(job.output->end(), data, data + length);
        stored = true;
    } catch (...) {
    }
    if (!stored) png_error(png, "out of memory");
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
    if (!PictureWithinBudget(width, height, maxPixels)) {
        std::snprintf(job.message, sizeof job.message, "the picture is too large");
        return false;
    }
    const std::uint64_t rawRow = (std::uint64_t{width} * depth * png_get_channels(png, info) + 7) / 8 + 1;
    if (rawRow * height > MaxInflation * job.input.size()) {
        std::snprintf(job.message, sizeof job.message, "the image data is missing");
        return false;
    }
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
    if (png_get_rowbytes(png, info) != std::size_t{width} * 3) {
        std::snprintf(job.message, sizeof job.message, "unexpected pixel layout");
        return false;
    }
    // Row by row, each pass of an interlaced picture over the rows it has:
    // no row pointers, so a picture one pixel wide costs only its rows.
    picture.Reset(static_cast<int>(width), static_cast<int>(height));
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, picture.Row(static_cast<int>(y)), nullptr);
    png_read_end(png, nullptr);  // a file cut after its image data is cut all the same
    return true;
}

bool EncodeCore(png_structp png, png_infop info, Job& job, const Picture24& picture, TResolution resolution,
                png_bytep* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &job, WriteFn, FlushFn);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width()), static_cast<png_uint_32>(picture.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (resolution.X != 0 && resolution.Y != 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(PixelsPerMetre(resolution.X)),
                     static_cast<png_uint_32>(PixelsPerMetre(resolution.Y)), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows);
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

}  // namespace

std::vector<std::uint8_t> EncodePng(const Picture24& picture, std::uint32_t packedResolution) {
    if (picture.Empty()) throw std::runtime_error("the picture is empty");
    std::vector<std::uint8_t> out;
    Job job;
    job.output = &out;
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.Height()));
    for (int y = 0; y < picture.Height(); ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.Row(y));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, ErrorFn, WarningFn);
    if (!png) throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    const bool done = info && EncodeCore(png, info, job, picture, UnpackResolution(packedResolution), rows.data());
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!done) {
        if (std::strcmp(job.message, "out of memory") == 0) throw std::bad_alloc();
        throw std::runtime_error(std::string("PNG encoding failed: ") + job.message);
    }
    return out;
}

std::optional<Picture24> DecodePng(std::span<const std::uint8_t> bytes, std::string* error, std::uint64_t maxPixels) {
    Job job;
    job.input = bytes;
    if (bytes.size() < 8 || std::memcmp(bytes.data(), Signature, 8) != 0) {
        if (error) *error = "not a PNG picture";
        return std::nullopt;
    }
    if (!ChunksWithinFile(bytes)) {
        if (error) *error = "a chunk runs past the end of the file";
        return std::nullopt;
    }
    Picture24 picture;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, ErrorFn, WarningFn);
    if (!png) {
        if (error) *error = "out of memory";
        return std::nullopt;
    }
    png_infop info = png_create_info_struct(png);
    bool done = false;
    try {
        done = info && DecodeCore(png, info, job, maxPixels, picture);
    } catch (const std::bad_alloc&) {
        std::snprintf(job.message, sizeof job.message, "out of memory");
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!done) {
        if (error) *error = job.message;
        return std::nullopt;
    }
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
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw fail("not a regular file");
    }
    try {
        const std::uint32_t packed = ResolutionFromChunks([&](std::uint64_t at, std::uint8_t* to, std::size_t n) {
            return static_cast<std::size_t>(::pread(fd, to, n, static_cast<off_t>(at))) == n;
        });
        ::close(fd);
        return packed;
    } catch (const std::runtime_error& e) {
        ::close(fd);
        throw fail(e.what());
    }
}

}  // namespace fernweave
