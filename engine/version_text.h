// What `--version` prints, the same for every program of the project.
#pragma once

#include <string>
#include <string_view>

namespace fernweave {

inline std::string VersionText(std::string_view program) {
    return std::string(program) + " " FERNWEAVE_VERSION "\n"
           "Copyright (c) 2026 Lumenfold\n"
           "Released under the MIT licence (LICENSE in the sources; /usr/share/doc/fernweave/copyright\n"
           "where the package is installed).\n";
}

}  // namespace fernweave
