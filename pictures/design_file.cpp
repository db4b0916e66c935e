#include "design_file.h"

#include <cstdint>
#include <span>

#include "object_file.h"
#include "png_codec.h"
#include "safe_file.h"

namespace fernweave {

namespace {

constexpr std::size_t MaxDesignFileSize = std::size_t{16} << 20;
const std::string NotAnObject = "It is not a valid object.";

}  // namespace

DesignKind DesignKindOf(std::string_view bytes) {
    if (bytes.starts_with("\xB6\xA3")) return DesignKind::Object;
    if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return DesignKind::Picture;
    // Text: a flame file is XML; an IFS text file has a "{".
    if (bytes.find('\0') != std::string_view::npos) return DesignKind::None;
    if (LooksLikeXml(bytes)) return DesignKind::Flame;
    if (bytes.find('{') != std::string_view::npos) return DesignKind::IfsText;
    return DesignKind::None;
}

DesignFile ReadDesign(std::string_view bytes) {
    DesignFile file;
    file.Kind = DesignKindOf(bytes);
    switch (file.Kind) {
        case DesignKind::None: break;
        case DesignKind::Object:
            file.ObjectBytes = bytes;
            if (!DecodeObject(bytes, TIfsObject{})) file.Error = NotAnObject;
            break;
        case DesignKind::Picture: {
            const auto object = PngObjectBytes(
                std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
            if (object) file.ObjectBytes.assign(object->begin(), object->end());
            if (!object || !DecodeObject(file.ObjectBytes, TIfsObject{}))
                file.Error = "The picture carries no object.";
            break;
        }
        case DesignKind::IfsText:
            file.Text = ParseIfsText(bytes);
            file.Error = file.Text.Error;
            break;
        case DesignKind::Flame:
            file.Flames = ParseFlames(bytes);
            file.Error = file.Flames.Error;
            break;
    }
    return file;
}

DesignFile ReadDesignFile(const std::string& fileName) {
    std::string bytes, why;
    DesignFile file;
    if (!ReadFilePrefix(fileName, MaxDesignFileSize + 1, bytes, &why)) {
        file.Error = "Cannot read " + fileName + (why.empty() ? "" : ": " + why) + ".";
    } else if (bytes.size() > MaxDesignFileSize) {
        file.Kind = DesignKindOf(bytes);
        file.Error = "The file is too large to hold a design.";
    } else {
        return ReadDesign(bytes);
    }
    return file;
}

std::vector<DesignListing> DesignFile::List() const {
    std::vector<DesignListing> list;
    if (!Ok()) return list;
    switch (Kind) {
        case DesignKind::Object:
        case DesignKind::Picture: {
            const auto object = DecodeObject(ObjectBytes, TIfsObject{});
            list.push_back({"object", object ? object->MapCount : 0, "object"});
            break;
        }
        case DesignKind::IfsText:
            for (const auto& e : Text.Entries)
                list.push_back({e.Name, static_cast<int>(e.Rows.size()), e.Is3D ? "3D IFS" : "2D IFS"});
            break;
        case DesignKind::Flame:
            for (const auto& f : Flames.Flames) list.push_back({f.Name, f.XformCount, "flame"});
            break;
        case DesignKind::None: break;
    }
    return list;
}

std::optional<std::size_t> DesignFile::Find(std::string_view name) const {
    const auto list = List();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].Name == name) return i;
    return std::nullopt;
}

std::optional<TIfsObject> DesignFile::Open(std::size_t index, int canvasWidth, int canvasHeight,
                                           const TIfsObject& previous, std::string& error) const {
    if (!Ok()) {
        error = Error.empty() ? NotAnObject : Error;
        return std::nullopt;
    }
    switch (Kind) {
        case DesignKind::Object:
        case DesignKind::Picture: {
            auto object = DecodeObject(ObjectBytes, previous);
            if (!object) error = NotAnObject;
            return object;
        }
        case DesignKind::IfsText: {
            if (index >= Text.Entries.size()) break;
            Design design;
            if (!EntryDesign(Text.Entries[index], design, error)) return std::nullopt;
            return PlaceDesign(design, canvasWidth, canvasHeight, previous, error);
        }
        case DesignKind::Flame: {
            if (index >= Flames.Flames.size()) break;
            const FlameEntry& flame = Flames.Flames[index];
            if (!flame.Refusal.empty()) {
                error = flame.Refusal;
                return std::nullopt;
            }
            return PlaceDesign(flame.Affine, canvasWidth, canvasHeight, previous, error);
        }
        case DesignKind::None: break;
    }
    error = "There is no such entry.";
    return std::nullopt;
}

}  // namespace fernweave
