#include "jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <new>
#include <stdexcept>

// jpeglib.h first: jerror.h numbers its messages by the configuration it brings.
#include <jpeglib.h>
#include <jerror.h>

#include "safe_file.h"

namespace fernweave {

// How libjpeg is kept from ending the program: its error_exit longjmps back to
// the one function that called setjmp. Those functions hold nothing with a
// destructor between the setjmp and the libjpeg calls, so the jump skips no
// C++ clean-up; everything owned is declared by their callers.

namespace {

constexpr std::size_t JfifSearchLimit = 50;
constexpr long MaxDecoderMemory = 1L << 30;  // libjpeg's own buffers, the picture apart
constexpr int MaxScans = 500;                // progressive files need a dozen or so

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so that libjpeg's pointer is ours
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

ErrorManager& ErrorsOf(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

void FailJump(j_common_ptr cinfo) {
    ErrorManager& err = ErrorsOf(cinfo);
    (*cinfo->err->format_message)(cinfo, err.message);
    std::longjmp(err.jump, 1);
}

// Ends the libjpeg calls of the frame that setjmps, with our own reason.
template <class Info>
[[noreturn]] void GiveUp(Info cinfo, const char* why) {
    ErrorManager& err = ErrorsOf(reinterpret_cast<j_common_ptr>(cinfo));
    std::snprintf(err.message, sizeof err.message, "%s", why);
    std::longjmp(err.jump, 1);
}

// Warnings that mean missing or corrupt picture data; libjpeg would fill the
// rest with grey and carry on, which would load a damaged picture as good.
bool IsDamage(int code) {
#if JPEG_LIB_VERSION >= 70 || defined(D_ARITH_CODING_SUPPORTED) || defined(C_ARITH_CODING_SUPPORTED)
    if (code == JWRN_ARITH_BAD_CODE) return true;
#endif
    return code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE ||
           code == JWRN_MUST_RESYNC;
}

void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    cinfo->err->num_warnings++;
    if (IsDamage(cinfo->err->msg_code)) FailJump(cinfo);
}

void OutputMessage(j_common_ptr) {}  // nothing goes to the terminal

jpeg_error_mgr* SetUpErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = FailJump;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.message[0] = '\0';
    return &err.pub;
}

// A progressive file with very many scans costs a pass over the picture per scan.
void CheckScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxScans)
        GiveUp(cinfo, "too many scans");
}

// --- encoding ---

// The caller's buffer, handed to the sink each time it is full: nothing of
// libjpeg's own memory destination to leak when libjpeg fails half-way.
struct SinkDestination {
    jpeg_destination_mgr pub;
    unsigned char* data;
    std::size_t capacity;
    const ByteSink* sink;
};

SinkDestination& DestinationOf(j_compress_ptr cinfo) { return *reinterpret_cast<SinkDestination*>(cinfo->dest); }

void InitDestination(j_compress_ptr cinfo) {
    SinkDestination& d = DestinationOf(cinfo);
    d.pub.next_output_byte = d.data;
    d.pub.free_in_buffer = d.capacity;
}

// Called when the whole buffer is full.
boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    SinkDestination& d = DestinationOf(cinfo);
    if (!(*d.sink)(d.data, d.capacity)) GiveUp(cinfo, "not written");
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    SinkDestination& d = DestinationOf(cinfo);
    if (!(*d.sink)(d.data, d.capacity - d.pub.free_in_buffer)) GiveUp(cinfo, "not written");
}

struct Compression {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    SinkDestination dest;
    ~Compression() { jpeg_destroy_compress(&cinfo); }  // on every way out
};

// The only frame that setjmps for encoding. `rgbRow` holds 3 x width bytes.
bool Compress(Compression& c, int width, int height, const RowsOf& rows, int quality, TResolution resolution,
              unsigned char* rgbRow) {
    if (setjmp(c.err.jump)) return false;
    jpeg_create_compress(&c.cinfo);
    c.cinfo.dest = &c.dest.pub;
    c.cinfo.image_width = static_cast<JDIMENSION>(width);
    c.cinfo.image_height = static_cast<JDIMENSION>(height);
    c.cinfo.input_components = 3;
    c.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality, TRUE);
    c.cinfo.density_unit = 1;  // dots per inch
    c.cinfo.X_density = resolution.X;
    c.cinfo.Y_density = resolution.Y;
    jpeg_start_compress(&c.cinfo, TRUE);
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        const std::uint8_t* src = rows(static_cast<int>(c.cinfo.next_scanline));
        if (!src) GiveUp(&c.cinfo, "stopped");
        for (int x = 0; x < width; ++x) {
            rgbRow[3 * x] = src[3 * x + 2];
            rgbRow[3 * x + 1] = src[3 * x + 1];
            rgbRow[3 * x + 2] = src[3 * x];
        }
        JSAMPROW row = rgbRow;
        jpeg_write_scanlines(&c.cinfo, &row, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    return true;
}

// --- decoding ---

struct Decompression {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    ~Decompression() { jpeg_destroy_decompress(&cinfo); }  // on every way out
};

enum class Ink { None, Plain, Inverted };

void ConvertRow(const unsigned char* src, std::uint8_t* dst, int width, int components, Ink ink) {
    for (int x = 0; x < width; ++x, dst += 3) {
        if (components == 1) {
            dst[0] = dst[1] = dst[2] = src[x];
        } else if (components == 3) {
            const unsigned char* p = src + 3 * x;
            dst[0] = p[2];
            dst[1] = p[1];
            dst[2] = p[0];
        } else {
            const unsigned char* p = src + 4 * x;
            unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            if (ink == Ink::Plain) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            // Adobe's inverted form: 255 means no ink, so a channel is C x K / 255.
            dst[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
            dst[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
            dst[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        }
    }
}

// The only frame that setjmps for decoding. The picture and the row buffer are
// the caller's; sizing them may throw std::bad_alloc, which passes through here
// like any exception (only the jump must not cross destructors).
bool Decompress(Decompression& d, std::span<const std::uint8_t> bytes, std::uint64_t maxPixels, Picture24& picture,
                std::vector<unsigned char>& row) {
    if (setjmp(d.err.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.mem->max_memory_to_use = MaxDecoderMemory;
    d.progress.progress_monitor = CheckScans;
    d.cinfo.progress = &d.progress;
    jpeg_mem_src(&d.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d.cinfo, TRUE);

    if (static_cast<std::uint64_t>(d.cinfo.image_width) * d.cinfo.image_height > maxPixels)
        GiveUp(&d.cinfo, "the picture is too large");
    Ink ink = Ink::None;
    switch (d.cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE: d.cinfo.out_color_space = JCS_GRAYSCALE; break;
        case JCS_YCbCr:
        case JCS_RGB: d.cinfo.out_color_space = JCS_RGB; break;
        case JCS_CMYK:
        case JCS_YCCK:
            d.cinfo.out_color_space = JCS_CMYK;
            ink = d.cinfo.saw_Adobe_marker ? Ink::Inverted : Ink::Plain;
            break;
        default: GiveUp(&d.cinfo, "unknown colour space");
    }
    jpeg_start_decompress(&d.cinfo);

    const int components = d.cinfo.output_components;
    const bool fits = components == (ink != Ink::None ? 4 : d.cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 3) &&
                      d.cinfo.output_width == d.cinfo.image_width && d.cinfo.output_height == d.cinfo.image_height;
    if (!fits) GiveUp(&d.cinfo, "unexpected decoder output");
    const int width = static_cast<int>(d.cinfo.output_width);
    row.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(components));
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = static_cast<int>(d.cinfo.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&d.cinfo, rows, 1) != 1) GiveUp(&d.cinfo, "the picture data ends early");
        // Only now: a few damaged bytes that announce a huge picture are
        // refused without first taking (and clearing) hundreds of megabytes.
        if (y == 0) picture.Reset(width, static_cast<int>(d.cinfo.output_height));
        ConvertRow(row.data(), picture.Row(y), width, components, ink);
    }
    // Reads on to the end marker: a file cut after the last row is still cut.
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

std::uint16_t Big16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

// Offset of the first "JFIF\0" that lies wholly within the first 50 bytes, or -1.
std::ptrdiff_t FindJfif(const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint8_t id[] = {'J', 'F', 'I', 'F', 0};
    const std::size_t n = size < JfifSearchLimit ? size : JfifSearchLimit;
    for (std::size_t i = 0; i + sizeof id <= n; ++i)
        if (std::memcmp(data + i, id, sizeof id) == 0) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::uint16_t CentimetresToInches(std::uint16_t density) {
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(density * 2.54)) & 0xFFFF);
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const Picture24& picture, int quality, std::uint32_t packedResolution) {
    return EncodeInMemory("JPEG", [&](const ByteSink& sink) {
        return StreamJpeg(picture.Width(), picture.Height(), [&](int y) { return picture.Row(y); }, quality,
                          packedResolution, sink);
    });
}

std::string StreamJpeg(int width, int height, const RowsOf& rows, int quality, std::uint32_t packedResolution,
                       const ByteSink& sink) {
    if (width <= 0 || height <= 0) throw std::runtime_error("Cannot save an empty picture as JPEG.");
    std::vector<unsigned char> rgbRow(3 * static_cast<std::size_t>(width)), buffer(64 * 1024);
    Compression c{};
    c.cinfo.err = SetUpErrors(c.err);
    c.dest.pub.init_destination = InitDestination;
    c.dest.pub.empty_output_buffer = EmptyOutputBuffer;
    c.dest.pub.term_destination = TermDestination;
    c.dest.data = buffer.data();
    c.dest.capacity = buffer.size();
    c.dest.sink = &sink;
    const TResolution resolution = UnpackResolution(packedResolution);
    if (!Compress(c, width, height, rows, std::clamp(quality & 0xFF, 1, 100), resolution, rgbRow.data()))
        return c.err.message;
    return {};
}

void WriteJpegResolution(std::span<std::uint8_t> jpeg, std::uint32_t packedResolution) {
    const std::ptrdiff_t j = FindJfif(jpeg.data(), jpeg.size());
    if (j < 0 || static_cast<std::size_t>(j) + 12 > jpeg.size()) return;
    const TResolution r = UnpackResolution(packedResolution);
    std::uint8_t* p = jpeg.data() + j;
    p[7] = 1;  // dots per inch
    p[8] = static_cast<std::uint8_t>(r.X >> 8);
    p[9] = static_cast<std::uint8_t>(r.X);
    p[10] = static_cast<std::uint8_t>(r.Y >> 8);
    p[11] = static_cast<std::uint8_t>(r.Y);
}

std::optional<Picture24> DecodeJpeg(std::span<const std::uint8_t> bytes, std::string* error, std::uint64_t maxPixels) {
    auto fail = [&](const std::string& why) -> std::optional<Picture24> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.empty()) return fail("no JPEG data");
    // libjpeg counts its input in unsigned long; both are 64 bits here.
    static_assert(sizeof(unsigned long) >= sizeof(std::size_t));

    try {
        Picture24 picture;
        std::vector<unsigned char> row;
        Decompression d{};
        d.cinfo.err = SetUpErrors(d.err);
        if (!Decompress(d, bytes, maxPixels, picture, row)) return fail(d.err.message);
        return picture;
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for the picture");
    }
}

std::optional<Picture24> LoadJpegFile(const std::string& fileName, std::string* error) {
    std::string bytes;
    if (!ReadFilePrefix(fileName, MaxJpegFileBytes + 1, bytes, error)) return std::nullopt;
    if (bytes.size() > MaxJpegFileBytes) {
        if (error) *error = fileName + ": too large for a picture";
        return std::nullopt;
    }
    return DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), error);
}

std::uint32_t JpegResolutionFromHeader(std::span<const std::uint8_t> firstBytes) {
    constexpr std::uint32_t fallback = PackResolution({72, 72});
    const std::size_t n = firstBytes.size() < JfifSearchLimit ? firstBytes.size() : JfifSearchLimit;
    const std::ptrdiff_t j = FindJfif(firstBytes.data(), n);
    if (j < 0 || static_cast<std::size_t>(j) + 12 > n) return fallback;
    const std::uint8_t* p = firstBytes.data() + j;
    const std::uint16_t x = Big16(p + 8), y = Big16(p + 10);
    switch (p[7]) {
        case 1: return PackResolution({x, y});
        case 2: return PackResolution({CentimetresToInches(x), CentimetresToInches(y)});
        default: return fallback;  // units 0: the densities give only the proportions
    }
}

std::uint32_t ReadJpegResolution(const std::string& fileName) {
    std::string bytes, why;
    if (!ReadFilePrefix(fileName, JfifSearchLimit, bytes, &why))
        throw std::runtime_error("Cannot read the resolution of the picture: " + why);
    return JpegResolutionFromHeader(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace fernweave
