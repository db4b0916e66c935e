// Reading the compiled help file through chmlib. The program loads chmlib at
// run time (see html_help.h), so here it is reached only through the entry
// points in TChmProcs. Everything read from the file is checked before use:
// the container structures that chmlib trusts, and the help's own tables.
#pragma once

#include <chm_lib.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fernweave {

// chmlib's entry points, resolved from the loaded library.
struct TChmProcs {
    decltype(&::chm_open) chm_open = nullptr;
    decltype(&::chm_close) chm_close = nullptr;
    decltype(&::chm_resolve_object) chm_resolve_object = nullptr;
    decltype(&::chm_retrieve_object) chm_retrieve_object = nullptr;
    decltype(&::chm_enumerate) chm_enumerate = nullptr;
};

// Help files larger than this are not opened, objects larger than this not read.
constexpr std::uint64_t MaxHelpFileSize = 256ull << 20;
constexpr std::uint64_t MaxHelpObjectSize = 64ull << 20;

// True when the container structures of a compiled help file are sound enough
// for chmlib, which does not check them: the headers, every directory chunk
// and its entries, the chains and index links between the chunks, and the
// tables of the compressed section. Otherwise false, with the reason in `why`.
bool CheckChmContainer(std::span<const std::uint8_t> file, std::string* why = nullptr);

// The help file's system file /#SYSTEM: names as the help compiler wrote them.
struct TChmSystemInfo {
    std::string ContentsFile;
    std::string IndexFile;
    std::string DefaultTopic;
    std::string Title;
};
TChmSystemInfo ParseChmSystem(std::span<const std::uint8_t> system);

// The context ids of /#IVB with their topic names from /#STRINGS, in file
// order. Pairs that point outside #STRINGS or at an empty name are left out.
std::vector<std::pair<std::uint32_t, std::string>> ParseContextIds(std::span<const std::uint8_t> ivb,
                                                                   std::span<const std::uint8_t> strings);

// One entry of the table of contents (a sitemap file, .hhc).
struct TSitemapEntry {
    QString Name;
    QString Local;  // the topic's path inside the file ("/index.html"); empty for a heading
    std::vector<TSitemapEntry> Children;
};
std::vector<TSitemapEntry> ParseSitemap(const QByteArray& hhc);

// A topic name as a help file's tables write it ("x.html", "/x.html",
// "ms-its:f.chm::/x.html") as a path inside the file ("/x.html"), fragment kept.
QString ChmPath(const QString& name);

class TChmFile {
public:
    // Opens the file when chmlib can read it safely; see IsOpen.
    TChmFile(const TChmProcs& procs, const QString& fileName);
    ~TChmFile();
    TChmFile(const TChmFile&) = delete;
    TChmFile& operator=(const TChmFile&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    const QString& FileName() const { return fileName_; }

    // The object at a path inside the file ("/index.html"); nothing when it is
    // missing, larger than MaxHelpObjectSize or cannot be read whole.
    std::optional<QByteArray> Read(const QString& path) const;
    bool Exists(const QString& path) const;
    // The paths of the file's ordinary objects.
    std::vector<QString> Paths() const;

    const TChmSystemInfo& System() const { return system_; }
    QString Title() const;
    // The start page: the default topic, else the first page of the contents.
    QString DefaultTopic() const;
    // The topic path of each context id the file defines.
    const std::map<std::uint32_t, QString>& ContextIds() const { return contextIds_; }
    const std::vector<TSitemapEntry>& Contents() const { return contents_; }

    // The object a name from the file's tables stands for. The help compiler
    // may write a topic with the folder it was compiled in before it, so the
    // name's trailing parts are tried from the longest down.
    QString ResolveTopic(const std::string& name) const;

private:
    const TChmProcs procs_;
    QString fileName_;
    chmFile* handle_ = nullptr;
    TChmSystemInfo system_;
    std::map<std::uint32_t, QString> contextIds_;
    std::vector<TSitemapEntry> contents_;
};

}  // namespace fernweave
