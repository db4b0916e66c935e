// The text drawing parser of fernweave-render: any text is a drawing or a
// refusal naming a line; a drawing reads back unchanged from its own text.
#include <string_view>

#include "fuzz_support.h"
#include "text_drawing.h"

using namespace fernweave;
using namespace fernweave::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TDrawing drawing;
    DrawingError error;
    if (!ParseTextDrawing(text, drawing, error)) {
        Check(!error.Message.empty(), "a refusal says why");
        Check(error.Line >= 0, "a refusal names a line or none");
        Check(drawing == TDrawing{}, "a refused drawing leaves the result alone");
        return 0;
    }
    Check(!drawing.Maps.empty() && drawing.Maps.size() <= static_cast<std::size_t>(MaxMaps), "1 to 120 maps");
    auto inRange = [](const TTriangle& t) {
        for (const TPoint& p : t)
            if (p.x < -DrawingCoordinateLimit || p.x > DrawingCoordinateLimit || p.y < -DrawingCoordinateLimit ||
                p.y > DrawingCoordinateLimit)
                return false;
        return true;
    };
    Check(inRange(drawing.Base), "base coordinates within the limit");
    for (const TDrawnMap& m : drawing.Maps) {
        Check(inRange(m.Triangle), "map coordinates within the limit");
        Check((m.Color & ~0xFFFFFF) == 0, "a colour is 24 bits");
    }
    const std::string again = FormatTextDrawing(drawing);
    TDrawing reread;
    DrawingError unused;
    Check(ParseTextDrawing(again, reread, unused) && reread == drawing, "a drawing reads back from its own text");
    return 0;
}
