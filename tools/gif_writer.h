// An animated GIF writer for the tutorial pictures of the help file. Canvas
// pictures hold few colours (the background and the map colours), so the
// frames share one exact palette and need no colour reduction.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "picture.h"

namespace fernweave::cli {

struct GifFrame {
    const Picture24* Picture = nullptr;
    int DelayCentiseconds = 100;
};

// The frames as one looping GIF89a animation. Each frame after the first
// stores only the rectangle that changed; a frame equal to the one before adds
// its delay to it. Throws std::invalid_argument when there are no frames, the
// frames differ in size, or together they use more than 256 colours.
std::vector<std::uint8_t> EncodeAnimatedGif(std::span<const GifFrame> frames);

}  // namespace fernweave::cli
