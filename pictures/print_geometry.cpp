#include "print_geometry.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace fernweave {

namespace {

// Pixels over dots per inch of the canvas, times the printer's dots per inch.
std::optional<int> PrintedDots(int pixels, std::uint16_t canvasDpi, int printerDpi) {
    if (canvasDpi == 0) throw std::runtime_error("Floating point division by zero");
    const double dots = std::nearbyint(static_cast<double>(pixels) / canvasDpi * printerDpi);
    if (!(dots >= 0.0 && dots <= static_cast<double>(INT_MAX))) return std::nullopt;
    return static_cast<int>(dots);
}

// Centred in whole dots when it is smaller than the page, else at the edge.
int Edge(int page, int size) { return size < page ? static_cast<int>((static_cast<long long>(page) - size) / 2) : 0; }

}  // namespace

std::optional<TPrintPlacement> PlacePrintedPicture(int pictureWidth, int pictureHeight, TResolution canvas,
                                                   int printerDpiX, int printerDpiY, int pageWidth, int pageHeight) {
    // The canvas resolution comes first: a zero there is the user's to see,
    // whatever the printer says.
    if (canvas.X == 0 || canvas.Y == 0) throw std::runtime_error("Floating point division by zero");
    if (printerDpiX <= 0 || printerDpiY <= 0 || pictureWidth < 0 || pictureHeight < 0) return std::nullopt;
    const auto w = PrintedDots(pictureWidth, canvas.X, printerDpiX);
    const auto h = PrintedDots(pictureHeight, canvas.Y, printerDpiY);
    if (!w || !h) return std::nullopt;
    return TPrintPlacement{Edge(pageWidth, *w), Edge(pageHeight, *h), *w, *h};
}

void ProcessMessagesFor(std::uint32_t milliseconds, const std::function<std::uint32_t()>& tick,
                        const std::function<void()>& processOnce) {
    const std::uint32_t start = tick();
    while (static_cast<std::uint32_t>(tick() - start) < milliseconds) processOnce();
}

std::uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace fernweave
