#include "ifs_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

namespace fernweave {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '\v' || c == '\f'; }
bool Ends(char c) { return IsBlank(c) || c == ';' || c == '{' || c == '}'; }

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

// A name without the blanks around it (a comma belongs to a name).
std::string Trim(std::string_view s) {
    auto space = [](char c) { return IsBlank(c) && c != ','; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return std::string(s);
}

// A finite number in the C locale's notation, the whole token.
bool ParseNumber(std::string_view token, double& value) {
    if (token.size() > 1 && token.front() == '+') token.remove_prefix(1);
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    return ec == std::errc{} && end == token.data() + token.size() && std::isfinite(value);
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    IfsTextFile Run() {
        while (SkipSpace()) {
            if (!Entry()) break;
        }
        if (result_.Ok() && result_.Entries.empty()) result_.Error = "The file holds no IFS entry.";
        return std::move(result_);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    IfsTextFile result_;

    // Skips blanks and comments; false at the end of the text.
    bool SkipSpace() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ';') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else if (IsBlank(c)) {
                ++pos_;
            } else {
                return true;
            }
        }
        return false;
    }

    bool Fail(const std::string& entry, int line, const std::string& what) {
        result_.Error = (entry.empty() ? "" : "Entry \"" + entry + "\", ") + "line " + std::to_string(line) + ": " + what;
        result_.Error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(result_.Error[0])));
        return false;
    }

    // True when a "{" follows on the current line before a comment or a "}".
    bool BraceFollowsOnLine(std::size_t from) const {
        for (std::size_t i = from; i < text_.size() && text_[i] != '\n' && text_[i] != ';' && text_[i] != '}'; ++i)
            if (text_[i] == '{') return true;
        return false;
    }

    bool Entry() {
        // The name: everything up to "{" (comments left out), on the lines it takes.
        IfsTextEntry entry;
        entry.Line = line_;
        std::string name;
        while (pos_ < text_.size() && text_[pos_] != '{') {
            const char c = text_[pos_];
            if (c == '}') return Fail("", line_, "\"}\" without an entry.");
            if (c == ';') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            }
            if (c == '\n') ++line_;
            name += c == '\n' ? ' ' : c;
            ++pos_;
        }
        entry.Name = Trim(name);
        if (pos_ == text_.size())
            return Fail("", entry.Line, "\"" + entry.Name + "\" is not an entry: its \"{\" is missing.");
        if (entry.Name.empty()) return Fail("", line_, "an entry without a name.");
        ++pos_;  // "{"
        entry.Is3D = Lower(entry.Name).find("(3d)") != std::string::npos;
        const std::size_t width = entry.Is3D ? 13 : 7;

        std::vector<double> row;
        int rowLine = 0;
        int firstShortLine = 0;  // the first line that ended inside a row: the likely fault
        int lastNumberLine = 0;
        for (;;) {
            const int before = line_;
            if (!SkipSpace()) return Fail(entry.Name, line_, "the entry's \"}\" is missing at the end of the file.");
            if (line_ != before && !row.empty() && firstShortLine == 0) firstShortLine = lastNumberLine;
            const char c = text_[pos_];
            if (c == '}') {
                ++pos_;
                break;
            }
            if (c == '{') return Fail(entry.Name, line_, "the entry's \"}\" is missing before the next entry.");
            std::size_t end = pos_;
            while (end < text_.size() && !Ends(text_[end])) ++end;
            const std::string_view token = text_.substr(pos_, end - pos_);
            double value = 0;
            if (!ParseNumber(token, value)) {
                if (BraceFollowsOnLine(end))
                    return Fail(entry.Name, line_, "the entry's \"}\" is missing before the next entry.");
                return Fail(entry.Name, line_, "\"" + std::string(token) + "\" is not a number.");
            }
            if (row.empty()) rowLine = line_;
            row.push_back(value);
            lastNumberLine = line_;
            pos_ = end;
            if (row.size() == width) {
                entry.Rows.push_back(std::move(row));
                row.clear();
            }
        }
        if (!row.empty())
            return Fail(entry.Name, firstShortLine ? firstShortLine : rowLine,
                        "a row needs " + std::to_string(width) + " numbers.");
        result_.Entries.push_back(std::move(entry));
        return true;
    }
};

void AppendNumber(std::string& out, double v) {
    // An object file from elsewhere may hold a chance or a map that is no
    // number; the text is always one the reader takes: such a value is 0.
    if (!std::isfinite(v)) v = 0;
    char buffer[32];
    // to_chars never looks at the locale.
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 7);
    out.append(buffer, ec == std::errc{} ? end : buffer);
}

}  // namespace

IfsTextFile ParseIfsText(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 mark some editors write
    return Parser(text).Run();
}

std::vector<float> ClassicChances(std::span<const double> p) {
    std::vector<float> chances;
    double sum = 0, reached = 0;
    for (std::size_t k = 0; k < p.size(); ++k) {
        if (k + 1 == p.size()) {
            chances.push_back(static_cast<float>(1 - reached));
            break;
        }
        sum += p[k];
        const double now = std::max(reached, std::clamp(sum, 0.0, 1.0));
        chances.push_back(static_cast<float>(now - reached));
        reached = now;
    }
    return chances;
}

bool EntryDesign(const IfsTextEntry& entry, Design& design, std::string& error) {
    if (entry.Is3D) {
        error = entry.Name + " is a 3D IFS; Fernweave draws 2D IFS only";
        return false;
    }
    if (entry.Rows.empty()) {
        error = entry.Name + " has no map.";
        return false;
    }
    if (entry.Rows.size() > static_cast<std::size_t>(MaxMaps)) {
        error = entry.Name + " has " + std::to_string(entry.Rows.size()) + " maps; Fernweave draws at most 120.";
        return false;
    }
    std::vector<double> p;
    for (const auto& row : entry.Rows) p.push_back(row[6]);
    const auto chances = ClassicChances(p);
    design = Design{entry.Name, {}, true};
    for (std::size_t k = 0; k < entry.Rows.size(); ++k) {
        const auto& r = entry.Rows[k];
        design.Maps.push_back({Affine{r[0], r[1], r[4], r[2], r[3], r[5]}, chances[k], std::nullopt});
    }
    return true;
}

std::string FormatIfsText(const TIfsObject& object, std::string_view name) {
    const Affine frame = ExportFrame(object.BaseTriangle, 10);
    std::string out(name);
    out += " {\n";
    for (int k = 1; k <= std::clamp(object.MapCount, 0, MaxMaps); ++k) {
        const Affine m = MapInFrame(object.Maps[k], frame);
        const double row[7] = {m.a, m.b, m.d, m.e, m.c, m.f, object.Maps[k].Probability};
        out += " ";
        for (double v : row) {
            out += ' ';
            AppendNumber(out, v);
        }
        out += '\n';
    }
    out += "}\n";
    return out;
}

std::string EntryNameFor(std::string_view fileName) {
    std::string name = std::filesystem::path(fileName).stem().string();
    for (char& c : name)
        if (Ends(c) || static_cast<unsigned char>(c) < 0x20) c = '_';
    // The entry is 2D: its name must not call it 3D.
    for (auto at = Lower(name).find("(3d)"); at != std::string::npos; at = Lower(name).find("(3d)")) name[at] = '_';
    return name.empty() ? "fernweave" : name;
}

}  // namespace fernweave
