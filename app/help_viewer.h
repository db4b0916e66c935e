// The help window: the table of contents of a compiled help file on the left,
// its pages on the right. Pages, pictures and animations come straight from
// the file; links inside it are followed, links to the web open the browser.
#pragma once

#include <QTextBrowser>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>

#include "chm_file.h"

class QAction;
class QBuffer;
class QMovie;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace fernweave {

// A page of the help file is addressed as chm:///path/in/the/file.html.
QUrl HelpTopicUrl(const QString& path);

class THelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    THelpBrowser(std::shared_ptr<const TChmFile> file, QWidget* parent = nullptr);
    ~THelpBrowser() override;

    QVariant loadResource(int type, const QUrl& name) override;
    // The animations of the page shown, playing.
    int MovieCount() const { return static_cast<int>(movies_.size()); }
    QMovie* Movie(const QUrl& url) const;
    // The page shown stands in for one the file cannot give.
    bool ShowsProblem() const { return showsProblem_; }

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    struct TAnimation;
    void StartAnimation(const QUrl& url, const QByteArray& bytes);

    std::shared_ptr<const TChmFile> file_;
    std::map<QUrl, std::unique_ptr<TAnimation>> movies_;
    bool showsProblem_ = false;
};

// What the help window says in place of the help when its file is missing or
// cannot give a page: "The help file FILE cannot be found." or "... is damaged
// and cannot be shown.", with the full path.
QString HelpProblemText(const QString& fileName);

class TfrmHelp : public QWidget {
    Q_OBJECT
public:
    explicit TfrmHelp(std::shared_ptr<const TChmFile> file);
    ~TfrmHelp() override;

    const TChmFile& File() const { return *file_; }

    // The start page, with the contents in front.
    void ShowContents();
    // The topic of a context id. The program's help file has one for each of
    // its ids, so a missing topic means a damaged file.
    void ShowContext(std::uint32_t id);
    void ShowTopic(const QString& path);

    QTreeWidget* tvContents;
    THelpBrowser* Browser;
    QAction *actBack, *actForward, *actHome;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillContents(QTreeWidgetItem* parent, const std::vector<TSitemapEntry>& entries);
    void SourceChanged(const QUrl& url);
    void ItemChosen(QTreeWidgetItem* item);

    std::shared_ptr<const TChmFile> file_;
    QSplitter* splitter_;
    bool sized_ = false;
};

}  // namespace fernweave
