// The reader of designs from other programs: classic IFS text, flames and PNG
// pictures with an object. Whatever it accepts must open, place and write
// back as a file it reads again.
#include <string_view>

#include "design_file.h"
#include "flame_file.h"
#include "fuzz_support.h"
#include "ifs_text.h"

using namespace fernweave;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz::Check;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const DesignFile file = ReadDesign(bytes);
    Check(file.Kind == DesignKindOf(bytes), "the kind is the content's");
    if (!file.Ok()) {
        Check(file.List().empty(), "a refused file lists nothing");
        return 0;
    }
    const auto list = file.List();
    Check(!list.empty(), "a file that reads holds an entry");
    // Placing runs a chaos game: two entries are enough to reach every branch.
    for (std::size_t i = 0; i < list.size() && i < 2; ++i) {
        std::string error;
        const auto object = file.Open(i, 120, 80, TIfsObject{}, error);
        Check(object.has_value() != !error.empty(), "an entry opens, or says why not");
        if (!object) continue;
        Check(object->MapCount >= 1 && object->MapCount <= MaxMaps, "an opened object has 1 to 120 maps");
        const auto text = ParseIfsText(FormatIfsText(*object, "again"));
        Check(text.Ok() || object->MapCount == 0, "an exported entry reads back");
        const auto flames = ParseFlames(FormatFlame(*object, "again", 120, 80, clBlack));
        Check(flames.Ok() && flames.Flames.size() == 1, "an exported flame reads back");
    }
    return 0;
}
