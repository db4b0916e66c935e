#include "render_cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "design_file.h"
#include "memory_budget.h"
#include "save_worker.h"
#include "worker.h"
#include "version_text.h"
#include "object_file.h"
#include "picture_job.h"
#include "png_codec.h"
#include "solver.h"
#include "strict_number.h"

namespace fernweave::cli {

namespace {

std::string Quote(std::string_view s) {
    std::string q = "'";
    q += s;
    q += '\'';
    return q;
}

std::string LowerExtension(std::string_view path) {
    const auto slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string ext(name.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::optional<TTriangle> ParsePlacement(std::string_view text) {
    TTriangle t{};
    for (int i = 0; i < 6; ++i) {
        const auto comma = text.find(',');
        if ((i < 5) == (comma == std::string_view::npos)) return std::nullopt;  // exactly five commas
        const auto v = ParseInteger(text.substr(0, comma), -DrawingCoordinateLimit, DrawingCoordinateLimit);
        if (!v) return std::nullopt;
        (i % 2 == 0 ? t[i / 2].x : t[i / 2].y) = static_cast<std::int32_t>(*v);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    }
    return t;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(a, ea);
    const auto cb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

// Calls a hook with `begin` now and with `end` on leaving the scope, also when
// the work throws.
template <class T>
class HookScope {
public:
    HookScope(void (*hook)(T), T begin, T end) : hook_(hook), end_(end) {
        if (hook_) hook_(begin);
    }
    ~HookScope() {
        if (hook_) hook_(end_);
    }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

private:
    void (*const hook_)(T);
    const T end_;
};

// The progress line on standard error: percent, steps per second, time left.
// Redrawn twice a second by a worker of its own, erased at the end.
class ProgressLine : public TWorker {
public:
    ProgressLine(std::ostream& err, std::uint64_t total, const std::atomic<std::uint64_t>& done, bool show)
        : TWorker({}), err_(err), total_(total), done_(done), shown_(show && total > 0) {
        if (shown_) Start([this] { Run(); });
    }
    ~ProgressLine() override {
        if (!shown_) return;
        Stop();
        err_ << "\r\033[K" << std::flush;
    }
    void Cancel() override {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        wake_.notify_all();
    }

private:
    void Run() {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return ended_; })) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const auto done = static_cast<double>(done_.load(std::memory_order_relaxed));
            const double rate = seconds > 0 ? done / seconds : 0;
            char line[160];
            if (rate > 0) {
                const auto left = static_cast<long long>((static_cast<double>(total_) - done) / rate + 0.5);
                std::snprintf(line, sizeof line, "\rfernweave-render: %5.1f %%, %.1f million steps/s, %lld:%02lld:%02lld left\033[K",
                              100.0 * done / static_cast<double>(total_), rate / 1e6, left / 3600, left / 60 % 60,
                              left % 60);
            } else {
                std::snprintf(line, sizeof line, "\rfernweave-render:   0.0 %%\033[K");
            }
            err_ << line << std::flush;
        }
    }

    std::ostream& err_;
    const std::uint64_t total_;
    const std::atomic<std::uint64_t>& done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    const bool shown_;
    bool ended_ = false;
};

// A plain decimal: digits, at most one point, a leading minus where allowed.
std::optional<double> ParseDecimal(const std::string& value, bool signedValue) {
    std::string_view digits = value;
    if (signedValue && digits.starts_with('-')) digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789.") != std::string_view::npos ||
        std::count(digits.begin(), digits.end(), '.') > 1 || digits == ".")
        return std::nullopt;
    return std::strtod(value.c_str(), nullptr);
}

std::string FormatNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

}  // namespace

std::optional<std::uint64_t> ParseMemorySize(std::string_view text) {
    // K, M, G and T in either case shift by 10, 20, 30 and 40 bits.
    const auto unit = text.empty() ? std::string_view::npos : std::string_view("KkMmGgTt").find(text.back());
    const int shift = unit == std::string_view::npos ? 0 : 10 * static_cast<int>(unit / 2 + 1);
    if (shift != 0) text.remove_suffix(1);
    const auto v = ParseUnsigned(text, 0, ~std::uint64_t{0} >> shift);
    if (!v) return std::nullopt;
    return *v << shift;
}

bool ParseRenderOptions(std::span<const std::string> args, RenderOptions& options, std::string& error) {
    auto bad = [&](std::string message) {
        error = std::move(message);
        return false;
    };
    RenderOptions result;
    bool haveInput = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (haveInput)
                return bad("more than one input file (" + Quote(result.Input) + " and " + Quote(arg) + ")");
            if (arg.empty()) return bad("empty input file name");
            result.Input = arg;
            haveInput = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--")) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                inlineValue = arg.substr(eq + 1);
            }
        }

        const std::pair<std::string_view, bool*> flags[] = {
            {"-h", &result.Help}, {"--help", &result.Help}, {"--stats", &result.Stats},
            {"--version", &result.Version}, {"--quiet", &result.Quiet}, {"--list", &result.List},
            {"--transparent", &result.Transparent}};
        if (const auto flag = std::ranges::find(flags, name, [](const auto& f) { return f.first; });
            flag != std::end(flags)) {
            if (inlineValue) return bad("option " + name + " takes no value");
            *flag->second = true;
            continue;
        }

        static constexpr std::string_view valued[] = {"-o",      "--output",  "--size",    "--background",
                                                      "--steps", "--dpi",     "--place",   "--export",
                                                      "--quality", "--threads", "--shading", "--supersample",
                                                      "--gamma", "--exposure", "--white-point", "--highlights",
                                                      "--memory", "--entry", "--export-text", "--export-flame",
                                                      "--bits"};
        if (std::ranges::find(valued, name) == std::end(valued)) return bad("unknown option " + Quote(name));
        if (!inlineValue && i + 1 >= args.size()) return bad("option " + name + " needs a value");
        const std::string value = inlineValue ? *inlineValue : args[++i];

        if (name == "-o" || name == "--output") {
            if (value.empty()) return bad("empty output file name");
            result.Output = value;
        } else if (name == "--export") {
            if (value.empty()) return bad("empty object file name for --export");
            result.ExportPath = value;
        } else if (name == "--export-text" || name == "--export-flame") {
            if (value.empty()) return bad("empty file name for " + name);
            (name == "--export-text" ? result.ExportTextPath : result.ExportFlamePath) = value;
        } else if (name == "--entry") {
            result.Entry = value;
        } else if (name == "--size") {
            const auto size = ParsePair(value, 1, MaxCanvasSide, false);
            if (!size) return bad("bad canvas size " + Quote(value) + " (expected WxH, each 1 to 65536)");
            result.Width = static_cast<int>(size->First);
            result.Height = static_cast<int>(size->Second);
        } else if (name == "--background") {
            const auto color = ParseColor(value, true);
            if (!color) return bad("bad background colour " + Quote(value) + " (expected #RRGGBB)");
            result.Background = *color;
        } else if (name == "--steps") {
            const auto steps = ParseUnsigned(value, 0, MaxSteps);
            if (!steps) return bad("bad number of steps " + Quote(value) + " (expected 0 to 1000000000000000)");
            result.Steps = *steps;
        } else if (name == "--dpi") {
            const auto dpi = ParsePair(value, 1, 65535, true);
            if (!dpi) return bad("bad resolution " + Quote(value) + " (expected DPI or XxY, each 1 to 65535)");
            result.Resolution = {static_cast<std::uint16_t>(dpi->First), static_cast<std::uint16_t>(dpi->Second)};
        } else if (name == "--quality") {
            const auto quality = ParseUnsigned(value, MinJpegQuality, MaxJpegQuality);
            if (!quality) return bad("bad JPEG quality " + Quote(value) + " (expected 10 to 100)");
            result.Quality = static_cast<int>(*quality);
        } else if (name == "--threads") {
            const auto threads = ParseUnsigned(value, 1, MaxThreads);
            if (!threads)
                return bad("bad number of threads " + Quote(value) + " (expected 1 to " +
                           std::to_string(MaxThreads) + ")");
            result.Threads = static_cast<int>(*threads);
        } else if (name == "--shading") {
            if (value != "plain" && value != "density")
                return bad("bad shading " + Quote(value) + " (expected plain or density)");
            result.ShadingMode = value == "plain" ? Shading::Plain : Shading::Density;
        } else if (name == "--supersample") {
            const auto k = ParseUnsigned(value, 1, MaxSupersample);
            if (!k) return bad("bad supersampling " + Quote(value) + " (expected 1 to 8)");
            result.Supersample = static_cast<int>(*k);
        } else if (name == "--gamma" || name == "--exposure" || name == "--white-point" || name == "--highlights") {
            struct Range {
                const char* what;
                double min, max;
                std::optional<double>& into;
            };
            const Range r = name == "--gamma"       ? Range{"gamma", 0.1, 10, result.Gamma}
                            : name == "--exposure"  ? Range{"exposure", -10, 10, result.Exposure}
                            : name == "--highlights" ? Range{"highlights", 0, 1, result.Highlights}
                                                     : Range{"white point", 50, 100, result.WhitePoint};
            const auto v = ParseDecimal(value, r.min < 0);
            if (!v || !(*v >= r.min && *v <= r.max))
                return bad(std::string("bad ") + r.what + " " + Quote(value) + " (expected a number from " +
                           FormatNumber(r.min) + " to " + FormatNumber(r.max) + ")");
            r.into = *v;
        } else if (name == "--bits") {
            if (value != "8" && value != "16") return bad("bad bits " + Quote(value) + " (expected 8 or 16)");
            result.Bits = value == "8" ? 8 : 16;
        } else if (name == "--memory") {
            const auto bytes = ParseMemorySize(value);
            if (!bytes || *bytes == 0)
                return bad("bad memory size " + Quote(value) + " (expected bytes, or a number with K, M, G or T)");
            result.Memory = *bytes;
        } else if (name == "--place") {
            const auto t = ParsePlacement(value);
            if (!t)
                return bad("bad placement triangle " + Quote(value) +
                           " (expected x1,y1,x2,y2,x3,y3, whole numbers from -16777216 to 16777216)");
            result.Placement = *t;
        }
    }

    if (result.ShadingMode == Shading::Plain) {
        const char* densityOnly = result.Supersample != 1 ? "--supersample"
                                  : result.Gamma          ? "--gamma"
                                  : result.Exposure       ? "--exposure"
                                  : result.WhitePoint     ? "--white-point"
                                  : result.Highlights     ? "--highlights"
                                                          : nullptr;
        if (densityOnly) return bad(std::string(densityOnly) + " is for --shading density");
    }
    if (result.Bits == 16 && result.ShadingMode == Shading::Plain)
        return bad("--bits 16 is for --shading density");
    if ((result.Transparent || result.Bits == 16) && !result.Output.empty() && LowerExtension(result.Output) != ".png")
        return bad(std::string(result.Transparent ? "--transparent" : "--bits 16") + " is for PNG pictures");
    if (static_cast<std::int64_t>(result.Width) * result.Supersample > MaxSampleSide ||
        static_cast<std::int64_t>(result.Height) * result.Supersample > MaxSampleSide)
        return bad("--supersample " + std::to_string(result.Supersample) +
                   " makes the canvas larger than 65536 on a side");
    if (!result.Help && !result.Version) {
        if (!haveInput) return bad("no input file");
        if (result.Output.empty() && !result.List)
            return bad("no output file (-o FILE.bmp, FILE.jpg or FILE.png)");
    }
    options = std::move(result);
    return true;
}

std::string KnownPictureExtensions() {
    std::string s;
    for (const TPictureFormatInfo& f : PictureFormatTable)
        for (std::string_view e : f.Extensions)
            if (!e.empty()) s += (s.empty() ? "" : ", ") + std::string(e);
    return s;
}

namespace {

// The first word that is not in a comment line is "base".
bool StartsAsTextDrawing(std::string_view text) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        const auto first = line.find_first_not_of(" \t\r");
        if (first != std::string_view::npos && line[first] != '#') {
            line.remove_prefix(first);
            return line.starts_with("base") && (line.size() == 4 || line[4] == ' ' || line[4] == '\t') &&
                   line.find('{') == std::string_view::npos;
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return false;
}

std::string EntryNames(const std::vector<DesignListing>& list) {
    std::string names;
    for (const auto& e : list) names += (names.empty() ? "" : ", ") + Quote(e.Name);
    return names;
}

}  // namespace

InputKind DetectInputKind(std::string_view path, std::string_view firstBytes) {
    if (firstBytes.starts_with("\xB6\xA3")) return InputKind::ObjectFile;
    // A drawing's comment may hold a "{": its base line tells it from IFS text.
    const bool design = DesignKindOf(firstBytes) != DesignKind::None;
    if (design && (LowerExtension(path) == ".ifs" || !StartsAsTextDrawing(firstBytes))) return InputKind::Design;
    // Named as an object file: its reader gives the right message, not the drawing parser.
    if (LowerExtension(path) == ".ifs") return InputKind::ObjectFile;
    return InputKind::TextDrawing;
}

int LoadInput(FractalState& state, const RenderOptions& options, InputKind& kind, std::string& error) {
    auto fail = [&](int code, std::string message) {
        error = std::move(message);
        return code;
    };
    std::string bytes, why;
    if (!ReadFilePrefix(options.Input, TextDrawingMaxSize + 1, bytes, &why))
        return fail(ExitFailed, "cannot read " + why);
    kind = DetectInputKind(options.Input, bytes);

    if (kind == InputKind::TextDrawing) {
        if (options.Placement)
            return fail(ExitUsage, "--place is for object files; " + options.Input +
                                       " is a text drawing, which has its own triangles");
        if (bytes.size() > TextDrawingMaxSize)
            return fail(ExitFailed, options.Input + ": too large for a text drawing (over 1 MiB)");
        TDrawing drawing;
        DrawingError bad;
        if (!ParseTextDrawing(bytes, drawing, bad))
            return fail(ExitFailed, options.Input + (bad.Line > 0 ? ":" + std::to_string(bad.Line) : "") + ": " +
                                        bad.Message);
        // Supersampling draws it K times the size.
        LoadDrawing(state, drawing, options.Supersample);
        return ExitOk;
    }

    if (kind == InputKind::ObjectFile) {
        // The import command: keep the previous object, read the file, then wait
        // for the placement triangle.
        state.SaveObject();
        if (!ReadObjectFile(state, options.Input))
            return fail(ExitFailed, options.Input + ": not a valid object file (it needs the bytes B6 A3, a map count "
                                                    "of 1 to 120 and every map record)");
    } else {
        const DesignFile design = ReadDesignFile(options.Input);
        if (!design.Ok()) return fail(ExitFailed, options.Input + ": " + design.Error);
        const auto list = design.List();
        std::size_t index = 0;
        if (options.Entry) {
            const auto found = design.Find(*options.Entry);
            if (!found)
                return fail(ExitFailed, options.Input + " has no entry " + Quote(*options.Entry) +
                                            " (its entries: " + EntryNames(list) + ")");
            index = *found;
        } else if (list.size() > 1) {
            return fail(ExitFailed, options.Input + " has " + std::to_string(list.size()) +
                                        " entries; choose one with --entry NAME: " + EntryNames(list));
        }
        // Imported as the program imports it, fitted into the canvas, then placed.
        const auto object = design.Open(index, options.Width, options.Height, state.CurrentObject(), error);
        if (!object) return fail(ExitFailed, options.Input + ": " + error);
        state.SaveObject();
        state.SetObject(*object);
    }
    PlaceImported(state, options.Placement.value_or(state.BaseTriangle), options.Supersample);
    return ExitOk;
}

std::vector<std::string> BaseTriangleWarnings(const TTriangle& base) {
    std::vector<std::string> warnings;
    const TBaseWarnings found = CheckBaseTriangle(base);
    if (found.ColumnZero)
        warnings.push_back(
            "base vertex 1 or 2 lies in column 0, where the solver's maps do not carry the base onto the "
            "triangles (the program renders it the same way); move it off x = 0");
    if (found.NoArea) warnings.push_back("the base triangle has no area, so the maps cannot follow the triangles");
    return warnings;
}

int RunRenderTool(std::span<const std::string> args, std::ostream& out, std::ostream& err, const RunHooks& hooks) {
    auto fail = [&](int code, const std::string& message) {
        err << "fernweave-render: " << message << '\n';
        return code;
    };

    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(args, options, error)) return fail(ExitUsage, error + " (see --help)");
    if (options.Help) {
        out << UsageText();
        return ExitOk;
    }
    if (options.Version) {
        out << VersionText("fernweave-render");
        return ExitOk;
    }
    if (options.List) {
        const DesignFile design = ReadDesignFile(options.Input);
        if (design.Kind == DesignKind::None && design.Error.empty())
            return fail(ExitFailed, options.Input + ": --list is for object files, IFS text files, flames and "
                                                    "pictures with an object");
        if (!design.Ok()) return fail(ExitFailed, options.Input + ": " + design.Error);
        for (const auto& e : design.List())
            out << e.Name << '\t' << e.MapCount << (e.MapCount == 1 ? " map\t" : " maps\t") << e.Kind << '\n';
        return ExitOk;
    }
    const TPictureFormatInfo* format = FormatInfoForFileName(options.Output);
    if (!format)
        return fail(ExitUsage, "cannot tell the picture format of " + Quote(options.Output) +
                                   " from its extension (known: " + KnownPictureExtensions() + ")");
    if (options.Quality && !format->HasQuality)
        return fail(ExitUsage, "--quality is for JPEG pictures; " + Quote(options.Output) + " is written as " +
                                   std::string(format->Name));
    if (SameFile(options.Input, options.Output))
        return fail(ExitUsage, "the output " + Quote(options.Output) + " would replace the input");
    // The files written after the picture, in this order.
    const std::pair<const std::string*, const char*> exports[] = {
        {&options.ExportPath, "object file"}, {&options.ExportTextPath, "IFS text file"},
        {&options.ExportFlamePath, "flame file"}};
    for (std::size_t i = 0; i < std::size(exports); ++i) {
        const std::string& path = *exports[i].first;
        if (path.empty()) continue;
        if (SameFile(options.Input, path))
            return fail(ExitUsage, "the export " + Quote(path) + " would replace the input");
        if (SameFile(options.Output, path))
            return fail(ExitUsage, "the export " + Quote(path) + " would replace the picture");
        for (std::size_t j = 0; j < i; ++j)
            if (!exports[j].first->empty() && SameFile(*exports[j].first, path))
                return fail(ExitUsage, "two exports would write " + Quote(path));
    }

    RenderStats stats;
    double seconds = 0;
    try {
        // A fresh state, as at start-up: generator at 0, nothing drawn, nothing to undo.
        auto state = std::make_unique<FractalState>();
        InputKind kind = InputKind::TextDrawing;
        const int loaded = LoadInput(*state, options, kind, error);
        if (loaded != ExitOk) return fail(loaded, error);
        const TTriangle base = kind != InputKind::TextDrawing
                                   ? state->BaseTriangle
                                   : TTriangle{state->Points[1], state->Points[2], state->Points[3]};
        for (const std::string& w : BaseTriangleWarnings(base)) err << "fernweave-render: warning: " << w << '\n';

        PictureJob job;
        job.Width = options.Width;
        job.Height = options.Height;
        job.Background = options.Background;
        job.Steps = options.Steps;
        job.Density = options.ShadingMode == Shading::Density;
        job.Supersample = options.Supersample;
        job.Tone.Gamma = options.Gamma.value_or(DefaultGamma);
        job.Tone.Exposure = options.Exposure.value_or(0);
        job.Tone.WhitePoint = options.WhitePoint.value_or(DefaultWhitePoint);
        job.Tone.Highlights = options.Highlights.value_or(0);
        job.Transparent = options.Transparent;
        job.Bits = options.Bits;

        // What a write would fail is found before a long rendering rather than after it.
        const std::uint64_t fileBytes = PictureFileBytes(format->Id, options.Width, options.Height, job.PixelBytes());
        std::string problem = PictureSizeProblem(format->Id, options.Width, options.Height);
        if (problem.empty()) problem = CheckTargetFile(options.Output, fileBytes);
        if (!problem.empty()) return fail(ExitFailed, "cannot write the picture: " + problem);
        for (const auto& [path, what] : exports)
            if (!path->empty())
                if (problem = CheckTargetFile(*path, 0); !problem.empty())
                    return fail(ExitFailed, std::string("cannot write the ") + what + ": " + problem);

        std::atomic<std::uint64_t> stepsDone{0};
        ParallelOptions parallel;
        parallel.Threads = options.Threads.value_or(AvailableCores());
        parallel.Stop = &state->StopRequested;
        parallel.StepsDone = &stepsDone;
        const std::optional<MemoryLimit> available = AvailableMemoryWithin(options.Memory, "--memory");
        // A job that does not fit whole is rendered and written in bands.
        const BandPlan plan = PlanBands(job, parallel, available ? available->Bytes : ~std::uint64_t{0});
        const std::uint64_t needed = plan.Whole ? PictureJobBytes(job, parallel) : BandedJobBytes(job, parallel, 1);
        const bool progress = hooks.Progress && !options.Quiet;
        if (progress) {
            err << "fernweave-render: " << FormatBytes(plan.Whole ? needed : BandedJobBytes(job, parallel, plan.Rows))
                << " of memory, " << parallel.Threads << (parallel.Threads == 1 ? " thread" : " threads");
            if (!plan.Whole) err << ", " << plan.Bands << (plan.Bands == 1 ? " band" : " bands") << " of " << plan.Rows << " rows";
            err << "; the file up to " << FormatBytes(fileBytes) << '\n';
        }
        if (plan.Rows == 0)
            return fail(ExitFailed, "cannot render: " + CheckMemory(needed, available) +
                                        (parallel.Threads > 1 && !job.Density ? "; use a smaller size or fewer threads"
                                                                              : "; use a smaller size"));

        // From here until the picture is in place an interrupt stops the work
        // and nothing is written; once it is in place, the run succeeds.
        HookScope<std::atomic<bool>*> flag(hooks.RenderFlag, &state->StopRequested, nullptr);
        PrepareRendering(*state);
        const auto interrupted = [&] {
            return fail(ExitInterrupted, "interrupted after " + std::to_string(stats.Steps) + " steps; nothing written");
        };
        // Does the work under a progress line of `total` steps, and times it.
        const auto timed = [&](std::uint64_t total, const auto& work) {
            ProgressLine line(err, total, stepsDone, progress);
            const auto start = std::chrono::steady_clock::now();
            work();
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        // A PNG picture carries its object and the options that made it, so
        // that it can be opened again and made again.
        std::string commandLine = "fernweave-render";
        for (const std::string& a : args) commandLine += " " + a;
        const std::vector<std::uint8_t> carried = EncodeObject(state->CurrentObject());
        const std::uint32_t resolution = PackResolution(options.Resolution);
        const int quality = options.Quality.value_or(DefaultJpegQuality);
        std::vector<std::uint8_t> picture;
        std::optional<BandedRendering> banded;
        if (plan.Whole) {
            auto canvas = std::make_unique<Picture24>();
            DeepPicture deep;
            timed(options.Steps, [&] {
                const ParallelStats p = RenderPicture(*state, job, parallel, *canvas, &deep);
                stats.Steps = p.Steps;
                stats.Plotted = p.Plotted;
            });
            if (stats.Steps < options.Steps || state->StopRequested.load()) return interrupted();
            picture = job.Deep() ? EncodeDeepPng(deep, resolution, carried, commandLine)
                                 : EncodePicture(*canvas, format->Id, resolution, quality, carried, commandLine);
        } else {
            banded.emplace(*state, job, parallel, plan.Rows);
        }
        // The object file holds the bytes WriteObjectFile writes, written here so
        // that a failure can say why. The flame: the object as the canvas shows it,
        // in the canvas's pixels.
        auto bytesOf = [](const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); };
        std::vector<std::uint8_t> text, flame;
        if (!options.ExportTextPath.empty())
            text = bytesOf(FormatIfsText(state->CurrentObject(), EntryNameFor(options.ExportTextPath)));
        if (!options.ExportFlamePath.empty())
            flame = bytesOf(FormatFlame(ObjectAsShown(*state, options.Supersample),
                                        EntryNameFor(options.ExportFlamePath), options.Width, options.Height,
                                        options.Background));
        const std::span<const std::uint8_t> exported[] = {carried, text, flame};

        HookScope<bool> writing(hooks.Writing, true, false);
        FileWriter writer = hooks.Writer;
        writer.Cancel = &state->StopRequested;
        if (banded) {
            bool written = false;
            timed(options.Steps * static_cast<std::uint64_t>(BandRuns(job, plan.Bands)), [&] {
                written = WriteBandedPicture(options.Output, *banded, job, format->Id, resolution, quality, carried,
                                             commandLine, &error, writer);
            });
            stats.Steps = banded->Stopped() ? stepsDone.load() : options.Steps;
            stats.Plotted = banded->Plotted();
            if (!written)
                return banded->Stopped() || state->StopRequested.load() ? interrupted()
                                                                         : fail(ExitFailed, "cannot write the picture: " + error);
        } else if (!WriteFileReplacing(options.Output, picture, &error, writer)) {
            return state->StopRequested.load() ? interrupted() : fail(ExitFailed, "cannot write the picture: " + error);
        }
        for (std::size_t i = 0; i < std::size(exports); ++i) {
            const auto& [path, what] = exports[i];
            if (!path->empty() && !WriteFileReplacing(*path, exported[i], &error, hooks.Writer))
                return fail(ExitFailed,
                            std::string("cannot write the ") + what + ": " + error + " (the picture was written)");
        }
    } catch (const std::bad_alloc&) {
        return fail(ExitFailed, "not enough memory for a " + std::to_string(options.Width) + "x" +
                                    std::to_string(options.Height) + " canvas");
    } catch (const std::exception& e) {
        return fail(ExitFailed, e.what());
    }

    if (options.Stats) {
        const double rate = seconds > 0 ? static_cast<double>(stats.Steps) / seconds : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "steps=%llu plotted=%llu seconds=%.3f steps_per_second=%.0f\n",
                      static_cast<unsigned long long>(stats.Steps), static_cast<unsigned long long>(stats.Plotted),
                      seconds, rate);
        out << line;
    }
    return ExitOk;
}

std::string UsageText() {
    return R"(Usage: fernweave-render [options] INPUT -o OUTPUT.bmp|OUTPUT.jpg|OUTPUT.png

Renders one Fernweave object into a new canvas by the chaos game, with the
program's own loop from a fresh start, so that the picture has exactly the
pixels the program's first rendering after start-up plots in as many steps.
Writes the canvas as a 24-bit BMP, a baseline colour JPEG or a 24-bit PNG
picture with the resolution in its header; a PNG picture also carries the
object (a compressed text chunk "fernweave-object"), so that it can be
imported again.

INPUT is an object file, a design from another program or a text drawing,
told apart by its content, whatever its name:
  - a file starting with the bytes B6 A3 is an object file (.ifs, as the
    program exports it), rendered as an imported object placed on a triangle;
  - a file whose first line that is not a comment starts with "base" is a
    text drawing (see below);
  - a classic IFS text file (entries "NAME { a b c d e f p ... }"), a flame
    file (XML, linear xforms only) or a PNG picture saved with its object is
    imported as the program imports it: an entry or flame fitted into the
    canvas, a picture's object as it is; then placed like an object file;
  - another file named *.ifs is refused as a broken object file;
  - any other file is read as a text drawing.

Options:
  -o, --output FILE     the picture to write (required); the extension, in
                        any letter case, picks the format: .bmp for BMP,
                        .jpg or .jpeg for JPEG, .png for PNG
  --size WxH            canvas size in pixels, each side 1 to 65536
                        (default 550x364); a BMP file must stay under
                        4 GiB, a JPEG at most 65500 pixels on a side
  --background COLOUR   canvas colour, #RRGGBB or RRGGBB (default #000000);
                        quote a leading '#' in the shell
  --steps N             chaos-game steps, 0 to 10^15 (default 10000000)
  --dpi N | XxY         resolution in dots per inch written into the picture,
                        1 to 65535 (default 72)
  --quality N           JPEG quality, 10 to 100 (default 90); JPEG output
                        only
  --place x1,y1,x2,y2,x3,y3
                        object files and designs only: the triangle, in
                        canvas pixels, onto which the object's base triangle
                        is placed, vertex 1 onto vertex 1 and so on (default:
                        its own base triangle, so the object appears where it
                        was drawn, and a design fills the canvas)
  --export FILE         after rendering, also write the object as an object
                        file: for a text drawing its maps with the solved
                        coefficients and probabilities
  --export-text FILE    also write the object as classic IFS text: one entry
                        named after FILE, y up, 7 significant digits
  --export-flame FILE   also write the object as a flame of the canvas's size
                        whose camera shows the canvas, one linear xform a map
  --entry NAME          the entry or flame to render from an input that holds
                        several (required then)
  --list                print the input's entries, one a line: name, number of
                        maps and kind (2D IFS, 3D IFS, flame, object), and stop
  --threads N           threads to render with, 1 to 256 (default: the cores
                        this process may use); the picture is the same for
                        every number of threads
  --shading plain|density
                        plain (default): the program's own pixels, each the
                        colour of the last point plotted there; density: each
                        pixel counts its hits and adds up their colours, and
                        is shown in their mean colour, brighter the more hits
                        it has: r = 2^exposure (ln(1 + hits) / ln(1 + white))^(1/gamma),
                        min(1, r) of the way from the background to that
                        colour, where white is the count at the white point
  --supersample K       density only: render at K times the size, 1 to 8
                        (default 1), each pixel taking the hits of its K x K
                        samples; K times the size may not exceed 65536
  --gamma G             density only: 0.1 to 10 (default 2.2); higher shows
                        sparse parts brighter
  --exposure E          density only: stops, -10 to 10 (default 0)
  --white-point P       density only: the percent of the lit pixels, 50 to
                        100 (default 99), whose hits are white or below;
                        the few beyond saturate (100: the most hits is white)
  --highlights H        density only: 0 to 1 (default 0): how far the pixels
                        beyond the white point go toward white (r - 1 of it)
  --memory SIZE         the most memory the job may take: bytes, or with K,
                        M, G or T for powers of 1024 (--memory 40M)
  --transparent         PNG only: the background transparent (density: each
                        pixel its colour with alpha a; plain: the pixels of
                        the background colour)
  --bits 8|16           PNG with density shading: 16 bits a channel, the
                        same values before rounding (default 8)
  --quiet               no memory line and no progress line on standard error
                        (they are shown only when it is a terminal)
  --stats               print one line on standard output:
                        steps=N plotted=N seconds=S steps_per_second=R
  -h, --help            show this text and stop
  --version             show the version and licence and stop
  A value follows its option as the next argument or after '=' (--steps=5000).
  '--' ends the options.

Text drawing:
  base x1 y1 x2 y2 x3 y3
  map  x1 y1 x2 y2 x3 y3 #RRGGBB diffuse|plain
  map  ...

  One base line, first, then 1 to 120 map lines: the triangles in the order
  they would be clicked in the program, each vertex in canvas pixels (x to the
  right, y downward; whole numbers from -16777216 to 16777216). Each map carries
  the base triangle onto its own triangle, vertex 1 onto vertex 1, 2 onto 2 and
  3 onto 3, and is chosen with the chance of its area over the base's area.
  #RRGGBB is the map's colour (hex, either case). diffuse: the map's colour
  also goes to the points of the next three steps (the program's Diffuse box);
  plain: the map's points take its colour only when no diffuse map was applied
  in the three steps before.
  Words are separated by blanks or tabs. Blank lines and lines starting with
  '#' are ignored; a word starting with '#' after the last field starts a
  comment. Keep base vertices 1 and 2 off x = 0: the solver's maps do not
  follow the triangles there (a warning says so).

  Example (a Sierpinski triangle):
    base 275 12  25 352  525 352
    map  275 12  150 182  400 182  #FF4040 diffuse
    map  150 182  25 352  275 352  #40FF40 diffuse
    map  400 182  275 352  525 352  #4080FF diffuse

Big pictures: before rendering, the memory the job takes (the canvas, and
with plain shading a layer for each thread; with density shading one table
of hits, 32 bytes a pixel, and an 8 MiB list for each thread) is compared
with what the system has available (MemAvailable), the process may take
(RLIMIT_AS), its control group allows (memory.max, or memory.limit_in_bytes
less memory.usage_in_bytes) and --memory; a job that does not fit whole is
rendered and written in bands of rows, the fewest that fit (density renders
each band twice, the first time for the white point) into the same file; one
that does not fit even in bands of a row is refused before it starts. So is a
target whose folder takes no new file, whose disk has no room for the file, or
whose format cannot hold the size. The same object, size, shading and steps
give the same picture for any number of threads; with plain shading also on
any machine (density uses the C library's log and pow).

Files are written whole or not at all: each goes to a temporary file beside
the target, which replaces the target (a regular file or a new name) only when
complete, so a failed write leaves an existing file as it was. If the object
file of --export cannot be written after the picture was, the picture stays.

Exit status: 0 done; 1 the input could not be read or is invalid, or a file
could not be written, or memory ran out; 2 the command line is wrong; 130
interrupted (nothing is written; an interrupt after the picture has replaced
the old file changes nothing, and the status is 0).
)";
}

}  // namespace fernweave::cli
