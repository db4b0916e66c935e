#include "gif_writer.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace fernweave::cli {

namespace {

constexpr int MaxCodes = 4096;  // LZW codes are at most 12 bits

void Put16(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// Collects LZW codes least significant bit first and writes them as data
// sub-blocks of at most 255 bytes.
class CodeWriter {
public:
    explicit CodeWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void Write(int code, int size) {
        bits_ |= static_cast<std::uint32_t>(code) << count_;
        count_ += size;
        while (count_ >= 8) {
            Byte(static_cast<std::uint8_t>(bits_ & 0xFF));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    void Finish() {
        if (count_ > 0) Byte(static_cast<std::uint8_t>(bits_ & 0xFF));
        Flush();
        out_.push_back(0);  // block terminator
    }

private:
    void Byte(std::uint8_t b) {
        block_.push_back(b);
        if (block_.size() == 255) Flush();
    }
    void Flush() {
        if (block_.empty()) return;
        out_.push_back(static_cast<std::uint8_t>(block_.size()));
        out_.insert(out_.end(), block_.begin(), block_.end());
        block_.clear();
    }
    std::vector<std::uint8_t>& out_;
    std::vector<std::uint8_t> block_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

struct Rect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

// LZW-compresses the pixels of `rect` (row by row) of a frame of palette indices.
void WriteLzw(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& indices, int frameWidth, Rect rect,
              int minCodeSize) {
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    CodeWriter writer(out);
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    // table[prefix * 256 + byte]: the code of that string, 0 = none yet.
    std::vector<std::uint16_t> table(static_cast<std::size_t>(MaxCodes) * 256, 0);
    int codeSize = minCodeSize + 1;
    int next = end + 1;
    writer.Write(clear, codeSize);

    int prefix = -1;
    for (int y = rect.Top; y < rect.Top + rect.Height; ++y) {
        const std::uint8_t* row = indices.data() + static_cast<std::size_t>(y) * frameWidth;
        for (int x = rect.Left; x < rect.Left + rect.Width; ++x) {
            const int value = row[x];
            if (prefix < 0) {
                prefix = value;
                continue;
            }
            std::uint16_t& slot = table[static_cast<std::size_t>(prefix) * 256 + value];
            if (slot != 0) {
                prefix = slot;
                continue;
            }
            writer.Write(prefix, codeSize);
            slot = static_cast<std::uint16_t>(next);
            // The decoder widens its codes one code later, when it adds this entry.
            if (next >= (1 << codeSize) && codeSize < 12) ++codeSize;
            if (++next == MaxCodes) {
                writer.Write(clear, codeSize);
                std::fill(table.begin(), table.end(), 0);
                codeSize = minCodeSize + 1;
                next = end + 1;
            }
            prefix = value;
        }
    }
    if (prefix >= 0) {
        writer.Write(prefix, codeSize);
        // The decoder adds one more entry on reading that last code.
        if (next >= (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    writer.Write(end, codeSize);
    writer.Finish();
}

}  // namespace

std::vector<std::uint8_t> EncodeAnimatedGif(std::span<const GifFrame> frames) {
    if (frames.empty()) throw std::invalid_argument("an animation needs at least one frame");
    for (const GifFrame& f : frames)
        if (!f.Picture) throw std::invalid_argument("a frame has no picture");
    const int W = frames[0].Picture->Width();
    const int H = frames[0].Picture->Height();
    if (W < 1 || H < 1 || W > 65535 || H > 65535) throw std::invalid_argument("the frame size does not fit a GIF");
    for (const GifFrame& f : frames)
        if (f.Picture->Width() != W || f.Picture->Height() != H)
            throw std::invalid_argument("the frames differ in size");

    // One exact palette for all frames.
    std::map<TColor, int> palette;
    std::vector<std::vector<std::uint8_t>> indices;
    for (const GifFrame& f : frames) {
        std::vector<std::uint8_t>& frame = indices.emplace_back(static_cast<std::size_t>(W) * H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const TColor c = f.Picture->Pixel(x, y);
                auto [it, added] = palette.try_emplace(c, static_cast<int>(palette.size()));
                if (added && palette.size() > 256)
                    throw std::invalid_argument("the frames use more than 256 colours");
                frame[static_cast<std::size_t>(y) * W + x] = static_cast<std::uint8_t>(it->second);
            }
    }
    int bits = 1;
    while ((1 << bits) < static_cast<int>(palette.size())) ++bits;

    // Which frames to store, with which rectangle and delay.
    struct Stored {
        std::size_t Index;
        Rect Area;
        int Delay;
    };
    std::vector<Stored> stored{{0, Rect{0, 0, W, H}, frames[0].DelayCentiseconds}};
    for (std::size_t k = 1; k < frames.size(); ++k) {
        const std::vector<std::uint8_t>& a = indices[stored.back().Index];
        const std::vector<std::uint8_t>& b = indices[k];
        int left = W, top = H, right = -1, bottom = -1;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * W + x;
                if (a[i] == b[i]) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        if (right < 0) {
            stored.back().Delay += frames[k].DelayCentiseconds;
            continue;
        }
        stored.push_back({k, Rect{left, top, right - left + 1, bottom - top + 1}, frames[k].DelayCentiseconds});
    }

    std::vector<std::uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, W);
    Put16(out, H);
    out.push_back(static_cast<std::uint8_t>(0x80 | 0x70 | (bits - 1)));  // global table, 8-bit colour resolution
    out.push_back(0);                                                    // background: palette entry 0
    out.push_back(0);                                                    // square pixels
    std::vector<TColor> colours(static_cast<std::size_t>(1) << bits, 0);
    for (const auto& [c, i] : palette) colours[static_cast<std::size_t>(i)] = c;
    for (TColor c : colours) {
        out.push_back(static_cast<std::uint8_t>(RedOf(c)));
        out.push_back(static_cast<std::uint8_t>(GreenOf(c)));
        out.push_back(static_cast<std::uint8_t>(BlueOf(c)));
    }
    // Loop for ever.
    const char loop[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";
    out.insert(out.end(), loop, loop + sizeof loop - 1);

    for (const Stored& s : stored) {
        // Graphic control: each frame stays in place under the next one.
        out.insert(out.end(), {0x21, 0xF9, 0x04, 0x04});
        Put16(out, std::clamp(s.Delay, 0, 65535));
        out.insert(out.end(), {0x00, 0x00});
        // The image descriptor: the frame's rectangle, no table of its own.
        out.push_back(0x2C);
        for (int v : {s.Area.Left, s.Area.Top, s.Area.Width, s.Area.Height}) Put16(out, v);
        out.push_back(0);
        WriteLzw(out, indices[s.Index], W, s.Area, std::max(2, bits));
    }
    out.push_back(0x3B);
    return out;
}

}  // namespace fernweave::cli
