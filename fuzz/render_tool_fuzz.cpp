// fernweave-render from start to end on a hostile input file: an object file
// or a text drawing, with the options drawn from the input's last bytes.
// Canvases and step counts stay small, and every file stays in the scratch
// folder. The run ends with a picture of the canvas or a reason; never a
// crash, and never an interruption, since nothing stops it.
#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_codec.h"
#include "fuzz_support.h"
#include "jpeg_codec.h"
#include "object_file.h"
#include "render_cli.h"

using namespace fernweave;
using namespace fernweave::cli;

namespace {

// Value after the option or glued to it with '=', as the input chooses.
void AddOption(std::vector<std::string>& args, bool glued, const std::string& name, const std::string& value) {
    if (glued) {
        args.push_back(name + "=" + value);
    } else {
        args.push_back(name);
        args.push_back(value);
    }
}

std::string Hex6(std::uint32_t v) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (int shift = 20; shift >= 0; shift -= 4) s += digits[(v >> shift) & 15];
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    namespace fs = std::filesystem;
    FuzzedDataProvider in(data, size);
    const int width = in.ConsumeIntegralInRange<int>(1, 40);
    const int height = in.ConsumeIntegralInRange<int>(1, 40);
    const auto steps = in.ConsumeIntegralInRange<std::uint64_t>(0, 3000);
    const auto flags = in.ConsumeIntegral<std::uint16_t>();
    const bool jpeg = flags & 1, quality = flags & 2, place = flags & 4, exportObject = flags & 8,
               stats = flags & 16, ifsName = flags & 32, background = flags & 64, dpi = flags & 128,
               glued = flags & 256;
    const auto color = in.ConsumeIntegral<std::uint32_t>() & 0xFFFFFF;
    const auto dpiX = in.ConsumeIntegralInRange<int>(1, 65535), dpiY = in.ConsumeIntegralInRange<int>(1, 65535);
    const auto q = in.ConsumeIntegralInRange<int>(MinJpegQuality, MaxJpegQuality);
    std::string placement;
    for (int i = 0; i < 6; ++i)
        placement += (i ? "," : "") + std::to_string(in.ConsumeIntegralInRange<std::int32_t>(-DrawingCoordinateLimit,
                                                                                             DrawingCoordinateLimit));
    const std::string contents = in.ConsumeRemainingBytesAsString();

    const std::string input = fuzz::ScratchPath(ifsName ? "input.ifs" : "input.txt");
    const std::string output = fuzz::ScratchPath(jpeg ? "out.jpg" : "out.bmp");
    const std::string exported = fuzz::ScratchPath("out.ifs");
    for (const char* old : {"input.ifs", "input.txt", "out.jpg", "out.bmp", "out.ifs"}) {
        std::error_code ec;
        fs::remove(fuzz::ScratchPath(old), ec);
    }
    fuzz::WriteScratchFile(input, reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size());

    std::vector<std::string> args{input};
    AddOption(args, glued, "-o", output);
    AddOption(args, glued, "--size", std::to_string(width) + "x" + std::to_string(height));
    AddOption(args, glued, "--steps", std::to_string(steps));
    if (background) AddOption(args, glued, "--background", Hex6(color));
    if (dpi) AddOption(args, glued, "--dpi", std::to_string(dpiX) + "x" + std::to_string(dpiY));
    if (quality) AddOption(args, glued, "--quality", std::to_string(q));
    if (place) AddOption(args, glued, "--place", placement);
    if (exportObject) AddOption(args, glued, "--export", exported);
    if (stats) args.push_back("--stats");
    // "-o" with '=' is not an option spelling; the long one is.
    for (std::string& a : args)
        if (a.starts_with("-o=")) a = "--output=" + a.substr(3);

    std::ostringstream out, err;
    const int code = RunRenderTool(args, out, err);
    Check(code == ExitOk || code == ExitFailed || code == ExitUsage, "no interruption without a stop");
    Check(code == ExitOk || !err.str().empty(), "a failure says why");
    Check(code != ExitOk || fs::exists(output), "success leaves the picture");
    Check(code == ExitOk || !fs::exists(output) || err.str().find("(the picture was written)") != std::string::npos,
          "a failure before the picture writes none");
    if (code != ExitOk) return 0;

    Check(stats == !out.str().empty(), "statistics only when asked for");
    if (jpeg) {
        const auto picture = LoadJpegFile(output);
        Check(picture && picture->Width() == width && picture->Height() == height, "the JPEG holds the canvas");
    } else {
        Check(fs::file_size(output) == BmpFileHeaderSize + BmpInfoHeaderSize +
                                           Picture24::StrideFor(width) * static_cast<std::size_t>(height),
              "the BMP holds the canvas");
        Check(dpi || ReadBmpResolution(output) == PackResolution({72, 72}), "the BMP carries 72 dpi by default");
    }
    if (exportObject) {
        FractalState check;
        Check(ReadObjectFile(check, exported), "the export is an object file");
    }
    return 0;
}
