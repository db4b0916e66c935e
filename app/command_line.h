// The program's command line: the files to open, --help, --version, and the
// toolkit's own options, which are left for the toolkit. Decided before the
// toolkit starts, so that --help and --version need no display.
#pragma once

#include <string>
#include <vector>

namespace fernweave {

struct TCommandLine {
    enum class TAction { Run, Help, Version, Usage } Action = TAction::Run;
    std::string File;                // the first file named; empty when none
    std::vector<std::string> Files;  // every file named, in order
    std::string Error;  // for Usage: one line, without the program's name
};

TCommandLine ParseCommandLine(int argc, const char* const* argv);

std::string CommandLineHelp();

}  // namespace fernweave
