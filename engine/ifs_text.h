// The classic IFS text format: entries "NAME { a b c d e f p ... }" with
// x' = a x + b y + e, y' = c x + d y + f, y up, p the row's chance; ";" starts
// a comment; numbers are separated by blanks, tabs, newlines or commas. An
// entry whose name holds "(3D)" has rows of 13 numbers: listed, never drawn.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "design.h"
#include "ifs_types.h"

namespace fernweave {

struct IfsTextEntry {
    std::string Name;
    int Line = 0;  // the line of its name, from 1
    bool Is3D = false;
    std::vector<std::vector<double>> Rows;  // 7 numbers each (13 for 3D)
};

struct IfsTextFile {
    std::vector<IfsTextEntry> Entries;
    std::string Error;  // the first fault of a broken file, naming the entry and the line
    bool Ok() const { return Error.empty(); }
};

IfsTextFile ParseIfsText(std::string_view text);

// The chances the classic programs draw with for the rows' p: walking the rows
// adding p, each map takes what the running sum, clipped to [0, 1], gains over
// the highest it has been; the last map takes what is left up to 1.
std::vector<float> ClassicChances(std::span<const double> p);

// The entry as a design (y up), or the reason it cannot be drawn.
bool EntryDesign(const IfsTextEntry& entry, Design& design, std::string& error);

// The object as one entry: its maps carried from canvas pixels onto a frame
// whose box of height 10 holds the base triangle's bounding box, y up; the
// stored chances; 7 significant digits, a dot whatever the locale.
std::string FormatIfsText(const TIfsObject& object, std::string_view name);

// An entry name made from a file name: its stem, without what the format reserves.
std::string EntryNameFor(std::string_view fileName);

}  // namespace fernweave
