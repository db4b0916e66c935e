#include "chm_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <set>

namespace fernweave {

namespace {

// --- the container: what chmlib reads without checking ---

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t Le64(const std::uint8_t* p) { return Le32(p) | static_cast<std::uint64_t>(Le32(p + 4)) << 32; }

constexpr std::uint64_t ItsfV3Size = 0x60;
constexpr std::uint64_t ItspSize = 0x54;
constexpr std::uint64_t PmglHeaderSize = 0x14;
constexpr std::uint64_t PmgiHeaderSize = 0x08;
constexpr std::uint64_t MaxPathLength = CHM_MAX_PATHLEN;
constexpr std::uint64_t LzxFrameSize = 0x8000;
constexpr std::uint64_t LzxSlack = 6144;  // chmlib reads a compressed block into frame size + this

const char ResetTableName[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const char ControlDataName[] = "::DataSpace/Storage/MSCompressed/ControlData";
const char ContentName[] = "::DataSpace/Storage/MSCompressed/Content";

// chmlib's encoded integer: 7 bits a byte, high bit set on all but the last.
// False when it runs past `end` or does not fit 63 bits.
bool ReadEncoded(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < 9 && p < end; ++i) {
        const std::uint8_t b = *p++;
        value = (value << 7) | (b & 0x7F);
        if (b < 0x80) return true;
    }
    return false;
}

// A name of a directory entry: 1 to 512 bytes, no NUL, inside the chunk.
bool ReadName(const std::uint8_t*& p, const std::uint8_t* end, std::string& name) {
    std::uint64_t length = 0;
    if (!ReadEncoded(p, end, length) || length == 0 || length > MaxPathLength ||
        length > static_cast<std::uint64_t>(end - p))
        return false;
    name.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
    p += length;
    return name.find('\0') == std::string::npos;
}

struct DirectoryEntry {
    std::string Name;
    std::uint64_t Section = 0;
    std::uint64_t Start = 0;
    std::uint64_t Length = 0;
};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Whether [start, start + length) lies within [0, limit), without overflow.
bool Inside(std::uint64_t start, std::uint64_t length, std::uint64_t limit) {
    return start <= limit && length <= limit - start;
}

}  // namespace

bool CheckChmContainer(std::span<const std::uint8_t> file, std::string* why) {
    auto fail = [why](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    const std::uint64_t size = file.size();
    const std::uint8_t* const base = file.data();

    // The file header. chmlib always reads the 0x60 bytes of its third version.
    if (size < ItsfV3Size || std::memcmp(base, "ITSF", 4) != 0) return fail("not a compiled help file");
    const std::int32_t version = static_cast<std::int32_t>(Le32(base + 4));
    const std::int32_t headerLength = static_cast<std::int32_t>(Le32(base + 8));
    if (version != 2 && version != 3) return fail("unknown file version");
    if (headerLength < (version == 2 ? 0x58 : 0x60)) return fail("file header too short");
    const std::uint64_t dirOffset = Le64(base + 0x48), dirLength = Le64(base + 0x50);
    if (!Inside(dirOffset, dirLength, size)) return fail("directory outside the file");
    const std::uint64_t dataOffset = version == 3 ? Le64(base + 0x58) : dirOffset + dirLength;
    if (dataOffset > size) return fail("content outside the file");

    // The directory header.
    if (dirLength < ItspSize) return fail("directory too short");
    const std::uint8_t* const itsp = base + dirOffset;
    if (std::memcmp(itsp, "ITSP", 4) != 0 || Le32(itsp + 4) != 1 || Le32(itsp + 8) != ItspSize)
        return fail("bad directory header");
    const std::uint64_t chunkSize = Le32(itsp + 0x10);
    const std::int32_t indexRoot = static_cast<std::int32_t>(Le32(itsp + 0x1C));
    const std::int32_t indexHead = static_cast<std::int32_t>(Le32(itsp + 0x20));
    if (chunkSize < 0x20 || chunkSize > 0x10000) return fail("bad directory chunk size");
    // The chunks that lie whole within the directory; every link must stay among them.
    const std::uint64_t chunkCount = (dirLength - ItspSize) / chunkSize;
    if (chunkCount == 0) return fail("directory without chunks");
    if (indexHead < 0 || static_cast<std::uint64_t>(indexHead) >= chunkCount) return fail("bad first directory chunk");
    if (indexRoot >= 0 && static_cast<std::uint64_t>(indexRoot) >= chunkCount) return fail("bad index root");
    const std::uint8_t* const chunks = itsp + ItspSize;

    // Every listing (PMGL) and index (PMGI) chunk, entry by entry.
    enum class Kind { Other, Listing, Index };
    std::vector<Kind> kinds(chunkCount, Kind::Other);
    std::vector<std::int32_t> nextListing(chunkCount, -1);
    std::vector<std::vector<std::uint64_t>> indexLinks(chunkCount);
    std::vector<DirectoryEntry> entries;
    for (std::uint64_t i = 0; i < chunkCount; ++i) {
        const std::uint8_t* const chunk = chunks + i * chunkSize;
        const std::uint8_t* const chunkEnd = chunk + chunkSize;
        if (std::memcmp(chunk, "PMGL", 4) == 0) {
            kinds[i] = Kind::Listing;
            const std::uint64_t free = Le32(chunk + 4);
            if (free > chunkSize - PmglHeaderSize) return fail("bad directory chunk");
            const std::int32_t next = static_cast<std::int32_t>(Le32(chunk + 0x10));
            if (next < -1 || (next >= 0 && static_cast<std::uint64_t>(next) >= chunkCount))
                return fail("bad directory chain");
            nextListing[i] = next;
            const std::uint8_t* p = chunk + PmglHeaderSize;
            const std::uint8_t* const end = chunkEnd - free;
            while (p < end) {
                DirectoryEntry e;
                if (!ReadName(p, end, e.Name) || !ReadEncoded(p, end, e.Section) || !ReadEncoded(p, end, e.Start) ||
                    !ReadEncoded(p, end, e.Length))
                    return fail("bad directory entry");
                if (e.Section > 1) return fail("unknown content section");
                entries.push_back(std::move(e));
            }
        } else if (std::memcmp(chunk, "PMGI", 4) == 0) {
            kinds[i] = Kind::Index;
            const std::uint64_t free = Le32(chunk + 4);
            if (free > chunkSize - PmgiHeaderSize) return fail("bad index chunk");
            const std::uint8_t* p = chunk + PmgiHeaderSize;
            const std::uint8_t* const end = chunkEnd - free;
            while (p < end) {
                std::string name;
                std::uint64_t target = 0;
                if (!ReadName(p, end, name) || !ReadEncoded(p, end, target) || target >= chunkCount)
                    return fail("bad index entry");
                indexLinks[i].push_back(target);
            }
        }
    }

    // chmlib follows these links until it finds -1: they must not run in circles.
    {
        std::vector<bool> seen(chunkCount, false);
        for (std::int32_t c = indexHead; c != -1; c = nextListing[static_cast<std::size_t>(c)]) {
            if (kinds[static_cast<std::size_t>(c)] != Kind::Listing) return fail("directory chain leaves the listing");
            if (seen[static_cast<std::size_t>(c)]) return fail("directory chain runs in a circle");
            seen[static_cast<std::size_t>(c)] = true;
        }
        // The index, walked from its root: no chunk may lead back to itself.
        enum { Unseen, Open, Done };
        std::vector<int> state(chunkCount, Unseen);
        std::vector<std::pair<std::uint64_t, std::size_t>> stack;
        const std::uint64_t root = indexRoot < 0 ? static_cast<std::uint64_t>(indexHead) : static_cast<std::uint64_t>(indexRoot);
        stack.push_back({root, 0});
        state[root] = Open;
        while (!stack.empty()) {
            const std::uint64_t chunk = stack.back().first;
            const std::size_t next = stack.back().second;
            if (kinds[chunk] == Kind::Index && next < indexLinks[chunk].size()) {
                const std::uint64_t child = indexLinks[chunk][next];
                ++stack.back().second;
                if (state[child] == Open) return fail("directory index runs in a circle");
                if (state[child] == Unseen) {
                    state[child] = Open;
                    stack.push_back({child, 0});
                }
            } else {
                state[chunk] = Done;
                stack.pop_back();
            }
        }
    }

    // chmlib finds its tables by name; more than one of a name would leave it
    // reading another than the one checked here.
    const DirectoryEntry* resetTable = nullptr;
    const DirectoryEntry* controlData = nullptr;
    const DirectoryEntry* content = nullptr;
    for (const DirectoryEntry& e : entries) {
        const std::string name = Lower(e.Name);
        for (auto [wanted, slot] : {std::pair{ResetTableName, &resetTable}, std::pair{ControlDataName, &controlData},
                                    std::pair{ContentName, &content}}) {
            if (name != Lower(wanted)) continue;
            if (*slot) return fail("a table of the compressed section is listed twice");
            *slot = &e;
        }
    }
    const std::uint64_t dataSize = size - dataOffset;

    // Without all three in the plain section chmlib leaves the compressed
    // section alone; its objects then read as empty.
    if (!resetTable || !controlData || !content || resetTable->Section != 0 || controlData->Section != 0 ||
        content->Section != 0)
        return true;
    if (!Inside(resetTable->Start, resetTable->Length, dataSize)) return fail("reset table outside the file");
    if (resetTable->Length < 0x28) return true;  // chmlib then reads no compressed object
    const std::uint8_t* const rt = base + dataOffset + resetTable->Start;
    if (Le32(rt) != 2) return true;  // the same

    // Past this point chmlib divides by values of the control data, even when
    // it found them wrong, and later by values of the reset table.
    if (controlData->Length > 256) return true;  // chmlib refuses the file
    if (controlData->Length < 0x18 || !Inside(controlData->Start, controlData->Length, dataSize))
        return fail("bad compression control data");
    const std::uint8_t* const lzxc = base + dataOffset + controlData->Start;
    if (std::memcmp(lzxc + 4, "LZXC", 4) != 0) return fail("bad compression control data");
    std::uint32_t resetInterval = Le32(lzxc + 0x0C), windowSize = Le32(lzxc + 0x10);
    const std::uint32_t windowsPerReset = Le32(lzxc + 0x14);
    if (Le32(lzxc + 8) == 2) {  // in units of 32 KiB; chmlib multiplies in 32 bits
        resetInterval *= 0x8000u;
        windowSize *= 0x8000u;
    }
    if (windowSize < (1u << 15) || windowSize > (1u << 21) || (windowSize & (windowSize - 1)) != 0)
        return fail("bad compression window");
    if (resetInterval == 0 || resetInterval % (windowSize / 2) != 0 ||
        resetInterval / (windowSize / 2) * windowsPerReset == 0)
        return fail("bad compression reset interval");

    const std::uint64_t blockCount = Le32(rt + 4);
    const std::uint64_t tableOffset = Le32(rt + 12);
    const std::uint64_t uncompressedLength = Le64(rt + 16);
    const std::uint64_t compressedLength = Le64(rt + 24);
    const std::uint64_t blockLength = Le64(rt + 32);
    if (blockLength != LzxFrameSize) return fail("bad compressed block size");
    if (blockCount == 0 || !Inside(tableOffset, blockCount * 8, resetTable->Length))
        return fail("reset table outside its object");
    if (uncompressedLength > blockCount * blockLength) return fail("compressed section larger than its blocks");
    if (!Inside(content->Start, content->Length, dataSize) || compressedLength > content->Length)
        return fail("compressed section outside the file");
    std::uint64_t previous = 0;
    for (std::uint64_t i = 0; i <= blockCount; ++i) {
        const std::uint64_t at = i < blockCount ? Le64(rt + tableOffset + 8 * i) : compressedLength;
        if ((i == 0 && at != 0) || at < previous || at > compressedLength || (i > 0 && at - previous > blockLength + LzxSlack))
            return fail("bad compressed block table");
        previous = at;
    }
    for (const DirectoryEntry& e : entries)
        if (e.Section == 1 && !Inside(e.Start, e.Length, uncompressedLength))
            return fail("an object lies outside the compressed section");
    return true;
}

// --- the help's own tables ---

namespace {

// A NUL-terminated string starting at `offset`, within `data`; empty when none.
std::string StringAt(std::span<const std::uint8_t> data, std::uint64_t offset) {
    if (offset >= data.size()) return {};
    const auto* begin = reinterpret_cast<const char*>(data.data()) + offset;
    const std::size_t room = data.size() - static_cast<std::size_t>(offset);
    return std::string(begin, strnlen(begin, room));
}

QString FromFileText(const std::string& s) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArray::fromStdString(s));
    if (utf8.hasError()) text = QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    return text;
}

}  // namespace

TChmSystemInfo ParseChmSystem(std::span<const std::uint8_t> system) {
    TChmSystemInfo info;
    std::size_t p = 4;  // after the version
    while (p + 4 <= system.size()) {
        const unsigned code = system[p] | system[p + 1] << 8;
        const std::size_t length = system[p + 2] | system[p + 3] << 8;
        p += 4;
        if (length > system.size() - p) break;
        const std::span<const std::uint8_t> data = system.subspan(p, length);
        switch (code) {
            case 0: info.ContentsFile = StringAt(data, 0); break;
            case 1: info.IndexFile = StringAt(data, 0); break;
            case 2: info.DefaultTopic = StringAt(data, 0); break;
            case 3: info.Title = StringAt(data, 0); break;
            default: break;
        }
        p += length;
    }
    return info;
}

std::vector<std::pair<std::uint32_t, std::string>> ParseContextIds(std::span<const std::uint8_t> ivb,
                                                                   std::span<const std::uint8_t> strings) {
    std::vector<std::pair<std::uint32_t, std::string>> ids;
    if (ivb.size() < 4) return ids;
    // The first word counts the bytes of the pairs that follow; never trust it beyond the object.
    const std::uint64_t stated = Le32(ivb.data());
    const std::uint64_t bytes = std::min<std::uint64_t>(stated, ivb.size() - 4);
    for (std::uint64_t at = 4; at + 8 <= 4 + bytes; at += 8) {
        const std::uint32_t id = Le32(ivb.data() + at);
        std::string name = StringAt(strings, Le32(ivb.data() + at + 4));
        if (!name.empty()) ids.emplace_back(id, std::move(name));
    }
    return ids;
}

QString ChmPath(const QString& name) {
    QString path = name.trimmed();
    path.replace('\\', '/');
    const qsizetype separator = path.indexOf("::");
    if (separator >= 0) path = path.mid(separator + 2);
    while (path.startsWith('/')) path.remove(0, 1);
    return path.isEmpty() ? QString() : '/' + path;
}

// --- the sitemap (.hhc): a loose HTML list of OBJECT tags ---

namespace {

QString DecodeEntities(const QString& s) {
    if (!s.contains('&')) return s;
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const qsizetype semi = s.indexOf(';', i);
        if (semi < 0 || semi - i > 10) {
            out += s[i];
            continue;
        }
        const QString entity = s.mid(i + 1, semi - i - 1);
        QString replacement;
        if (entity == "amp") replacement = "&";
        else if (entity == "lt") replacement = "<";
        else if (entity == "gt") replacement = ">";
        else if (entity == "quot") replacement = "\"";
        else if (entity == "apos") replacement = "'";
        else if (entity == "nbsp") replacement = QChar(0xA0);
        else if (entity.startsWith('#')) {
            bool ok = false;
            const uint code = entity.startsWith("#x", Qt::CaseInsensitive) ? entity.mid(2).toUInt(&ok, 16)
                                                                         : entity.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t c = code;
                replacement = QString::fromUcs4(&c, 1);
            }
        }
        if (replacement.isNull()) {
            out += s[i];
            continue;
        }
        out += replacement;
        i = semi;
    }
    return out;
}

struct Tag {
    QString Name;  // lower case, "/ul" for an end tag
    std::map<QString, QString> Attributes;
};

// Reads the tag that starts at text[i] == '<'; i ends after its '>'.
Tag ReadTag(const QString& text, qsizetype& i) {
    Tag tag;
    ++i;
    const qsizetype n = text.size();
    qsizetype start = i;
    while (i < n && !text[i].isSpace() && text[i] != '>') ++i;
    tag.Name = text.mid(start, i - start).toLower();
    while (i < n && text[i] != '>') {
        while (i < n && (text[i].isSpace() || text[i] == '/')) ++i;
        start = i;
        while (i < n && !text[i].isSpace() && text[i] != '=' && text[i] != '>') ++i;
        const QString key = text.mid(start, i - start).toLower();
        while (i < n && text[i].isSpace()) ++i;
        QString value;
        if (i < n && text[i] == '=') {
            ++i;
            while (i < n && text[i].isSpace()) ++i;
            if (i < n && (text[i] == '"' || text[i] == '\'')) {
                const QChar quote = text[i++];
                start = i;
                while (i < n && text[i] != quote) ++i;
                value = text.mid(start, i - start);
                if (i < n) ++i;
            } else {
                start = i;
                while (i < n && !text[i].isSpace() && text[i] != '>') ++i;
                value = text.mid(start, i - start);
            }
        }
        if (!key.isEmpty()) tag.Attributes.emplace(key, DecodeEntities(value));
        if (key.isEmpty() && i < n && text[i] != '>') ++i;  // a stray character
    }
    if (i < n) ++i;
    return tag;
}

constexpr std::size_t MaxSitemapDepth = 32;
constexpr std::size_t MaxSitemapEntries = 20000;

}  // namespace

std::vector<TSitemapEntry> ParseSitemap(const QByteArray& hhc) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(hhc);
    if (utf8.hasError()) text = QString::fromLatin1(hhc);

    std::vector<TSitemapEntry> root;
    // The lists being filled, innermost last. Only the innermost grows, so the
    // pointers to the outer ones stay valid.
    std::vector<std::vector<TSitemapEntry>*> levels{&root};
    // For each open list: whether it opened a level (it did not when nested
    // too deep, or when no entry came before it).
    std::vector<bool> opened;
    std::size_t count = 0;
    bool inObject = false;
    TSitemapEntry entry;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        if (text.mid(i, 4) == "<!--") {
            const qsizetype end = text.indexOf("-->", i + 4);
            i = end < 0 ? text.size() : end + 3;
            continue;
        }
        const Tag tag = ReadTag(text, i);
        if (tag.Name == "ul") {
            if (opened.size() >= MaxSitemapEntries) continue;
            std::vector<TSitemapEntry>& current = *levels.back();
            const bool opens = !current.empty() && levels.size() < MaxSitemapDepth;
            if (opens) levels.push_back(&current.back().Children);
            opened.push_back(opens);
        } else if (tag.Name == "/ul") {
            if (opened.empty()) continue;
            if (opened.back()) levels.pop_back();
            opened.pop_back();
        } else if (tag.Name == "object") {
            const auto type = tag.Attributes.find("type");
            inObject = type != tag.Attributes.end() && type->second.compare("text/sitemap", Qt::CaseInsensitive) == 0;
            entry = {};
        } else if (tag.Name == "param" && inObject) {
            const auto name = tag.Attributes.find("name");
            const auto value = tag.Attributes.find("value");
            if (name == tag.Attributes.end() || value == tag.Attributes.end()) continue;
            if (name->second.compare("Name", Qt::CaseInsensitive) == 0 && entry.Name.isEmpty())
                entry.Name = value->second.trimmed();
            else if (name->second.compare("Local", Qt::CaseInsensitive) == 0 && entry.Local.isEmpty())
                entry.Local = ChmPath(value->second);
        } else if (tag.Name == "/object" && inObject) {
            inObject = false;
            if (entry.Name.isEmpty() && entry.Local.isEmpty()) continue;
            if (entry.Name.isEmpty()) entry.Name = entry.Local.mid(1);
            if (++count > MaxSitemapEntries) break;
            levels.back()->push_back(std::move(entry));
            entry = {};
        }
    }
    return root;
}

// --- the file ---

namespace {

// The file's bytes, when it is no larger than a help file may be.
std::optional<QByteArray> ReadWholeFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 size = file.size();
    if (size < 0 || static_cast<std::uint64_t>(size) > MaxHelpFileSize) return std::nullopt;
    QByteArray bytes = file.read(size + 1);
    if (bytes.size() != size) return std::nullopt;  // changed while being read
    return bytes;
}

// chmlib opens files by name. Giving it a private copy of the checked bytes
// keeps it from reading anything else, should the file change on disk.
chmFile* OpenCopy(const TChmProcs& procs, const QByteArray& bytes) {
    const int fd = memfd_create("fernweave-help", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<std::size_t>(bytes.size() - written));
        if (n <= 0) {
            ::close(fd);
            return nullptr;
        }
        written += n;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    chmFile* handle = procs.chm_open(path.c_str());
    ::close(fd);  // chmlib holds its own descriptor
    return handle;
}

}  // namespace

TChmFile::TChmFile(const TChmProcs& procs, const QString& fileName) : procs_(procs), fileName_(fileName) {
    if (!procs_.chm_open || !procs_.chm_close || !procs_.chm_resolve_object || !procs_.chm_retrieve_object ||
        !procs_.chm_enumerate)
        return;
    const std::optional<QByteArray> bytes = ReadWholeFile(fileName);
    if (!bytes) return;
    const std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(bytes->constData()),
                                             static_cast<std::size_t>(bytes->size()));
    if (!CheckChmContainer(view)) return;
    handle_ = OpenCopy(procs_, *bytes);
    if (!handle_) return;

    auto span = [](const std::optional<QByteArray>& b) {
        return b ? std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(b->constData()),
                                                 static_cast<std::size_t>(b->size()))
                 : std::span<const std::uint8_t>();
    };
    const std::optional<QByteArray> system = Read("/#SYSTEM");
    system_ = ParseChmSystem(span(system));

    const std::optional<QByteArray> ivb = Read("/#IVB");
    const std::optional<QByteArray> strings = Read("/#STRINGS");
    for (const auto& [id, name] : ParseContextIds(span(ivb), span(strings))) {
        const QString topic = ResolveTopic(name);
        if (!topic.isEmpty()) contextIds_.emplace(id, topic);
    }

    QString contents = ChmPath(FromFileText(system_.ContentsFile));
    if (contents.isEmpty() || !Exists(contents)) {
        contents.clear();
        for (const QString& path : Paths())
            if (path.endsWith(".hhc", Qt::CaseInsensitive)) {
                contents = path;
                break;
            }
    }
    if (!contents.isEmpty())
        if (const std::optional<QByteArray> hhc = Read(contents)) contents_ = ParseSitemap(*hhc);
}

TChmFile::~TChmFile() {
    if (handle_) procs_.chm_close(handle_);
}

std::optional<QByteArray> TChmFile::Read(const QString& path) const {
    if (!handle_) return std::nullopt;
    const QByteArray name = path.toUtf8();
    if (name.isEmpty() || static_cast<std::uint64_t>(name.size()) > MaxPathLength) return std::nullopt;
    chmUnitInfo info{};
    if (procs_.chm_resolve_object(handle_, name.constData(), &info) != CHM_RESOLVE_SUCCESS) return std::nullopt;
    if (info.length > MaxHelpObjectSize) return std::nullopt;
    QByteArray data(static_cast<qsizetype>(info.length), Qt::Uninitialized);
    if (info.length == 0) return data;
    const LONGINT64 got = procs_.chm_retrieve_object(handle_, &info, reinterpret_cast<unsigned char*>(data.data()), 0,
                                                     static_cast<LONGINT64>(info.length));
    if (got != static_cast<LONGINT64>(info.length)) return std::nullopt;
    return data;
}

bool TChmFile::Exists(const QString& path) const {
    if (!handle_) return false;
    const QByteArray name = path.toUtf8();
    if (name.isEmpty() || static_cast<std::uint64_t>(name.size()) > MaxPathLength) return false;
    chmUnitInfo info{};
    return procs_.chm_resolve_object(handle_, name.constData(), &info) == CHM_RESOLVE_SUCCESS;
}

std::vector<QString> TChmFile::Paths() const {
    std::vector<QString> paths;
    if (!handle_) return paths;
    auto collect = [](chmFile*, chmUnitInfo* info, void* context) -> int {
        auto* list = static_cast<std::vector<QString>*>(context);
        list->push_back(QString::fromUtf8(info->path, static_cast<qsizetype>(strnlen(info->path, sizeof info->path))));
        return CHM_ENUMERATOR_CONTINUE;
    };
    procs_.chm_enumerate(handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collect, &paths);
    return paths;
}

QString TChmFile::Title() const { return FromFileText(system_.Title); }

QString TChmFile::DefaultTopic() const {
    const QString topic = ChmPath(FromFileText(system_.DefaultTopic));
    if (!topic.isEmpty() && Exists(topic)) return topic;
    std::vector<const std::vector<TSitemapEntry>*> lists{&contents_};
    for (std::size_t i = 0; i < lists.size(); ++i)
        for (const TSitemapEntry& e : *lists[i]) {
            if (!e.Local.isEmpty()) return e.Local;
            lists.push_back(&e.Children);
        }
    return {};
}

QString TChmFile::ResolveTopic(const std::string& name) const {
    QString path = ChmPath(FromFileText(name));
    for (int tries = 0; tries < 64 && !path.isEmpty(); ++tries) {
        if (Exists(path)) return path;
        const qsizetype slash = path.indexOf('/', 1);
        if (slash < 0) break;
        path = path.mid(slash);
    }
    return {};
}

}  // namespace fernweave
