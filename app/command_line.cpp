#include "command_line.h"

#include <string_view>

namespace fernweave {

namespace {

// The toolkit's options (QGuiApplication, QApplication and the X11 platform),
// which it takes with one dash or two; those in the first list take a value as
// the next argument or after '='.
constexpr std::string_view ToolkitValued[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "geometry", "title", "icon", "name", "visual", "style",
    "stylesheet", "qmljsdebugger", "dialogs", "fontengine"};
constexpr std::string_view ToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

template <std::size_t N>
bool IsOneOf(std::string_view name, const std::string_view (&names)[N]) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

}  // namespace

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
    TCommandLine result;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty()) continue;
            if (result.File.empty()) result.File = arg;
            result.Files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            result.Action = TCommandLine::TAction::Help;
            return result;
        }
        if (arg == "--version") {
            result.Action = TCommandLine::TAction::Version;
            return result;
        }
        std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        const bool inlineValue = name.find('=') != std::string_view::npos;
        name = name.substr(0, name.find('='));
        if (IsOneOf(name, ToolkitValued)) {
            if (!inlineValue) ++i;  // its value, which is not our file
            continue;
        }
        if (IsOneOf(name, ToolkitFlags) && !inlineValue) continue;
        result.Action = TCommandLine::TAction::Usage;
        result.Error = "unknown option '" + std::string(arg) + "' (see --help)";
        return result;
    }
    return result;
}

std::string CommandLineHelp() {
    return R"(Usage: fernweave [FILE...]

Draw triangles, and the chaos game paints the fractal they define.

Each FILE is opened as the program starts, one after another:
  - a file starting with the bytes B6 A3 is an object file (.ifs): it is
    rendered on its own base triangle, where it was drawn;
  - a .bmp, .jpg, .jpeg or .png file (any letter case) is loaded as the
    canvas picture, with its resolution.
When Fernweave already runs, the files are handed to it and this start
ends; files that arrive while it is drawing or rendering, or while a dialog
is open, wait and open in order once it is idle.

Options:
  -h, --help     show this text and stop
  --version      show the version and licence and stop
  --             ends the options: what follows is a file
The toolkit's own options (-platform, -display, -style, ...) work as Qt
defines them.

Exit status: 0 when done; 1 when the program cannot start, or a running
Fernweave did not take a file within 5 seconds; 2 for an unknown option.
)";
}

}  // namespace fernweave
