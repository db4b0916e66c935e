// fernweave-render's command line: the input is the argument list, one
// argument per line. Parsing alone: nothing is read, rendered or written.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "render_cli.h"

using namespace fernweave;
using namespace fernweave::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }

    RenderOptions options;
    options.Input = "untouched";
    options.Width = -7;
    std::string error;
    if (!ParseRenderOptions(args, options, error)) {
        Check(!error.empty(), "a refusal says why");
        Check(options.Input == "untouched" && options.Width == -7, "a refused command line changes nothing");
        return 0;
    }
    Check(error.empty(), "no reason without a refusal");
    Check(options.Width >= 1 && options.Width <= MaxCanvasSide && options.Height >= 1 &&
              options.Height <= MaxCanvasSide,
          "canvas sides 1 to 65536");
    Check(options.Steps <= MaxSteps, "steps within the limit");
    Check(options.Resolution.X >= 1 && options.Resolution.Y >= 1, "resolution at least 1");
    Check(!options.Quality || (*options.Quality >= MinJpegQuality && *options.Quality <= MaxJpegQuality),
          "quality 10 to 100");
    Check((options.Background & ~0xFFFFFF) == 0, "background is 24 bits");
    if (options.Placement)
        for (const TPoint& p : *options.Placement)
            Check(p.x >= -DrawingCoordinateLimit && p.x <= DrawingCoordinateLimit && p.y >= -DrawingCoordinateLimit &&
                      p.y <= DrawingCoordinateLimit,
                  "placement within the coordinate limit");
    if (!options.Help && !options.Version) Check(!options.Input.empty(), "an input given");
    if (!options.Help && !options.Version && !options.List) Check(!options.Output.empty(), "an output given");

    // What the run does next with the names, still without touching a file.
    if (const auto* f = FormatInfoForFileName(options.Output)) Check(&FormatInfo(f->Id) == f, "a format is its row");
    (void)DetectInputKind(options.Input, options.Input);
    return 0;
}
