// Flame files (<flames><flame ...><xform .../>...</flame></flames>), the format
// of the flame renderers. Written exactly for any object; read when every
// xform is an affine map (linear, with an optional post affine).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "design.h"
#include "ifs_types.h"

namespace fernweave {

struct FlameEntry {
    std::string Name;
    int XformCount = 0;
    std::string Refusal;  // why it cannot be drawn; empty when it can
    Design Affine;        // the maps in the flame's frame (y down), when it can
    // Flame units onto the pixels of a canvas of the flame's size; none when
    // the camera is missing or turned.
    std::optional<fernweave::Affine> Camera;
};

struct FlameFile {
    std::vector<FlameEntry> Flames;
    std::string Error;  // the file is no flame file
    bool Ok() const { return Error.empty(); }
};

FlameFile ParseFlames(std::string_view text);

// True when the text looks like XML (the start, past blanks, is "<").
bool LooksLikeXml(std::string_view text);

// The frame of an exported flame: canvas pixels onto flame units, the origin
// in the middle of the canvas, 4 units to its height, y down.
Affine FlameFrame(int canvasWidth, int canvasHeight);

// The object as a flame of the canvas's size whose camera shows exactly the
// canvas: one linear xform per map (weight = chance), a palette of 256 entries
// made of the maps' colours, the background colour.
std::string FormatFlame(const TIfsObject& object, std::string_view name, int canvasWidth, int canvasHeight,
                        TColor background);

}  // namespace fernweave
