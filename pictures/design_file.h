// Reading a design from any file Fernweave imports: its own object file, a
// classic IFS text file, a flame file or a PNG picture that carries an object.
// The content decides, whatever the file's name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flame_file.h"
#include "ifs_text.h"
#include "ifs_types.h"

namespace fernweave {

enum class DesignKind { None, Object, IfsText, Flame, Picture };

struct DesignListing {
    std::string Name;
    int MapCount = 0;
    std::string Kind;  // "object", "2D IFS", "3D IFS" or "flame"
};

class DesignFile {
public:
    DesignKind Kind = DesignKind::None;
    // Why the file cannot be read. Empty with Kind None: the file is no design at all.
    std::string Error;

    bool Ok() const { return Kind != DesignKind::None && Error.empty(); }
    std::vector<DesignListing> List() const;
    // The entry of that name, or nothing.
    std::optional<std::size_t> Find(std::string_view name) const;
    // Entry `index` as an object: an object file's (or picture's) object as it
    // is, an entry or flame fitted into the canvas. Records beyond its maps
    // keep `previous`'s. Nothing, with the reason in `error`, when it cannot be drawn.
    std::optional<TIfsObject> Open(std::size_t index, int canvasWidth, int canvasHeight, const TIfsObject& previous,
                                   std::string& error) const;

    // Only what was read: the bytes of an object, the text entries or the flames.
    std::string ObjectBytes;
    IfsTextFile Text;
    FlameFile Flames;
};

DesignFile ReadDesign(std::string_view bytes);
// Reads a file of at most 16 MiB; a missing file is Kind None with the reason.
DesignFile ReadDesignFile(const std::string& fileName);

// What a file starts with: enough to tell the kinds apart.
DesignKind DesignKindOf(std::string_view bytes);

}  // namespace fernweave
