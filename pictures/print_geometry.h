// The arithmetic of printing, without Qt: where the canvas picture lands on the
// page, and the wait that lets the window catch up before the job ends.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "resolution.h"

namespace fernweave {

// A rectangle of the printable page in printer dots; (0, 0) is its top left.
struct TPrintPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TPrintPlacement&, const TPrintPlacement&) = default;
};

// The picture at its physical size: pixels to inches through the canvas
// resolution, inches to dots through the printer's, rounded half to even.
// Centred (whole dots) on the printable page when smaller than it, else from
// the top left corner and cut off there: never scaled to fit.
// A canvas resolution of 0 throws "Floating point division by zero". Nothing
// comes back when the printer reports no usable resolution or the printed
// size does not fit an int: such a job cannot be printed.
std::optional<TPrintPlacement> PlacePrintedPicture(int pictureWidth, int pictureHeight, TResolution canvas,
                                                   int printerDpiX, int printerDpiY, int pageWidth, int pageHeight);

// Runs `processOnce` until `milliseconds` have passed on the tick counter
// `tick`; the elapsed time is the unsigned difference of two ticks, so it stays
// right when the counter wraps around, and it is tested before each pass.
void ProcessMessagesFor(std::uint32_t milliseconds, const std::function<std::uint32_t()>& tick,
                        const std::function<void()>& processOnce);

// The system's millisecond tick counter (monotonic, wraps at 2^32).
std::uint32_t TickCount();

}  // namespace fernweave
