// The headless renderer: renders one object into a new canvas, exactly as the
// program's first rendering after start-up would for the same number of steps,
// and writes the canvas as a picture. The logic lives here, apart from main(),
// so that the tests can call it.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fractal_state.h"
#include "picture_job.h"
#include "picture.h"
#include "picture_formats.h"
#include "renderer.h"
#include "resolution.h"
#include "safe_file.h"
#include "text_drawing.h"

namespace fernweave::cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;       // input, memory or output failed
constexpr int ExitUsage = 2;        // the command line is wrong
constexpr int ExitInterrupted = 130;

constexpr int MaxCanvasSide = 65536;
// The canvas a supersampled rendering plays on: the reset bound (+-100000 on
// the rounded point) must stay beyond it.
constexpr int MaxSampleSide = 65536;
constexpr int MaxSupersample = 8;
constexpr int MaxThreads = 256;

enum class Shading { Plain, Density };
constexpr std::uint64_t MaxSteps = 1'000'000'000'000'000;  // 10^15
// JPEG quality: the program's Image Quality dialog offers 10 to 100, 90 at first.
constexpr int MinJpegQuality = 10;
constexpr int MaxJpegQuality = 100;
constexpr int DefaultJpegQuality = 90;

struct RenderOptions {
    std::string Input;
    std::string Output;
    std::string ExportPath;                // empty: no export
    std::string ExportTextPath;            // the object as classic IFS text; empty: none
    std::string ExportFlamePath;           // the object as a flame; empty: none
    std::optional<std::string> Entry;      // the entry or flame of a file that has several
    bool List = false;                     // print the file's entries and stop
    int Width = DefaultCanvasWidth;
    int Height = DefaultCanvasHeight;
    TColor Background = clBlack;
    std::uint64_t Steps = 10'000'000;
    TResolution Resolution{72, 72};
    std::optional<TTriangle> Placement;    // object files only
    std::optional<int> Quality;            // JPEG output only; DefaultJpegQuality when not given
    std::optional<int> Threads;            // the cores this process may use when not given
    Shading ShadingMode = Shading::Plain;
    int Supersample = 1;                   // density only
    std::optional<double> Gamma;           // density only; DefaultGamma when not given
    std::optional<double> Exposure;        // density only, stops; 0 when not given
    std::optional<double> WhitePoint;      // density only, percent; DefaultWhitePoint when not given
    std::optional<double> Highlights;      // density only, 0 to 1; 0 when not given
    std::optional<std::uint64_t> Memory;   // bytes the job may take at most
    bool Transparent = false;              // PNG only
    int Bits = 8;                          // 16: PNG with density only
    bool Quiet = false;
    bool Stats = false;
    bool Help = false;
    bool Version = false;
};

// "40M", "2G", "1048576": bytes, or K, M, G, T meaning powers of 1024.
std::optional<std::uint64_t> ParseMemorySize(std::string_view text);

// Parses the arguments that follow the program name. False, with one line of
// explanation in `error`, when they are not a valid command.
bool ParseRenderOptions(std::span<const std::string> args, RenderOptions& options, std::string& error);

std::string UsageText();

// The known picture extensions, for messages: ".bmp, .jpg, .jpeg, .png".
std::string KnownPictureExtensions();

// --- input ---

enum class InputKind { ObjectFile, TextDrawing, Design };

// An object file starts with the bytes B6 A3; a text drawing with its base
// line; classic IFS text, flames and PNG pictures are designs; another file
// named .ifs is a broken object file; anything else is read as a text drawing.
InputKind DetectInputKind(std::string_view path, std::string_view firstBytes);

// Puts the input into a fresh state as the program's clicks would: a text
// drawing through LoadDrawing; an object file as an import
// followed by its placement triangle (the given one, else its own base
// triangle). Returns an exit code: ExitOk, or ExitFailed / ExitUsage with the
// reason in `error`. `kind` tells what the input turned out to be.
int LoadInput(FractalState& state, const RenderOptions& options, InputKind& kind, std::string& error);

// Warnings about a base triangle that the solver cannot follow; empty when fine.
std::vector<std::string> BaseTriangleWarnings(const TTriangle& base);

// --- the whole run ---

struct RunHooks {
    // Called with the flag that stops the work just before the rendering
    // starts, and with nullptr when the picture is written or the run gave up
    // (an interrupt handler sets it). An interrupt before the picture's
    // rename leaves nothing written; after it, the run goes on to success.
    void (*RenderFlag)(std::atomic<bool>* stop) = nullptr;
    // Called with true before the first file is written and false after the last.
    void (*Writing)(bool begin) = nullptr;
    // Where the bytes of the written files go (tests inject a full disk here).
    FileWriter Writer{};
    // Standard error is a terminal: show the job's memory and a progress line there.
    bool Progress = false;
};

// Runs the renderer with the arguments that follow the program name and
// returns the exit code. Results go to `out`, messages to `err`.
int RunRenderTool(std::span<const std::string> args, std::ostream& out, std::ostream& err, const RunHooks& hooks = {});

}  // namespace fernweave::cli
