#include "help_viewer.h"

#include <QAction>
#include <QBuffer>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QMovie>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "resources.h"

#include <algorithm>

namespace fernweave {

namespace {

constexpr int TopicRole = Qt::UserRole;

// The help window's small pictures, drawn for it rather than taken from the desktop.
QIcon HelpIcon(const QString& name) { return QIcon(":/icons/help/" + name + ".svg"); }

QString MessagePage(const QString& title, const QString& text) {
    return "<html><head><title>" + title.toHtmlEscaped() + "</title></head><body><h2>" + title.toHtmlEscaped() +
           "</h2><p>" + text.toHtmlEscaped() + "</p></body></html>";
}

// A page no help file has: asking for it shows the problem page.
const QUrl ProblemUrl("chm:///:problem");

QString BaseTitle(const TChmFile& file) { return file.Title().isEmpty() ? QStringLiteral("Help") : file.Title(); }

}  // namespace

QString HelpProblemText(const QString& fileName) {
    const QFileInfo info(fileName);
    return "The help file " + info.absoluteFilePath() +
           (info.isFile() ? " is damaged and cannot be shown." : " cannot be found.");
}

QUrl HelpTopicUrl(const QString& path) {
    QUrl url;
    url.setScheme("chm");
    const qsizetype hash = path.indexOf('#');
    url.setPath(hash < 0 ? path : path.left(hash));
    if (hash >= 0) url.setFragment(path.mid(hash + 1));
    return url;
}

// An animated picture of the page: the movie plays from its own copy of the bytes.
struct THelpBrowser::TAnimation {
    explicit TAnimation(const QByteArray& bytes) : Bytes(bytes), Buffer(&Bytes), Movie(&Buffer) {}
    QByteArray Bytes;
    QBuffer Buffer;
    QMovie Movie;
};

THelpBrowser::THelpBrowser(std::shared_ptr<const TChmFile> file, QWidget* parent)
    : QTextBrowser(parent), file_(std::move(file)) {
    setObjectName("Browser");
    // Links are followed here: those into the file by the browser, the others by the desktop.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == "chm") {
            setSource(url);
        } else if (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto") {
            QDesktopServices::openUrl(url);
        }
    });
}

THelpBrowser::~THelpBrowser() = default;

QMovie* THelpBrowser::Movie(const QUrl& url) const {
    const auto it = movies_.find(url);
    return it == movies_.end() ? nullptr : &it->second->Movie;
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name) {
    // The document asks with the name it will look the resource up by.
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() != "chm") return {};
    const std::optional<QByteArray> bytes = file_->Read(url.path());
    switch (type) {
        case QTextDocument::HtmlResource:
            // The file's own tables and links name the page: the file is damaged.
            showsProblem_ = !bytes;
            if (!bytes) return MessagePage("Help", HelpProblemText(file_->FileName()));
            return *bytes;
        case QTextDocument::StyleSheetResource:
            return bytes ? QVariant(QString::fromUtf8(*bytes)) : QVariant();
        case QTextDocument::ImageResource:
            if (!bytes) return {};
            if (bytes->startsWith("GIF8")) StartAnimation(name, *bytes);
            return *bytes;
        default:
            return bytes ? QVariant(*bytes) : QVariant();
    }
}

void THelpBrowser::StartAnimation(const QUrl& url, const QByteArray& bytes) {
    if (movies_.count(url)) return;
    auto animation = std::make_unique<TAnimation>(bytes);
    QMovie& movie = animation->Movie;
    movie.setCacheMode(QMovie::CacheAll);
    if (!movie.isValid() || movie.frameCount() < 2) return;
    connect(&movie, &QMovie::frameChanged, this, [this, url] {
        if (QMovie* m = Movie(url)) {
            document()->addResource(QTextDocument::ImageResource, url, m->currentPixmap());
            viewport()->update();
        }
    });
    movies_.emplace(url, std::move(animation));
    movie.start();
}

void THelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    // Another page: its predecessor's pictures and animations go.
    if (name.adjusted(QUrl::RemoveFragment) != source().adjusted(QUrl::RemoveFragment)) {
        movies_.clear();
        document()->clear();
    }
    QTextBrowser::doSetSource(name, type);
    // Load the pictures now rather than at the first paint, so that the
    // animations start with the page.
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                document()->resource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name()));
        }
}

TfrmHelp::TfrmHelp(std::shared_ptr<const TChmFile> file) : QWidget(nullptr, Qt::Window), file_(std::move(file)) {
    LoadProgramResources();
    setObjectName("frmHelp");
    // A help window never keeps the program running: closing the main window ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowIcon(QIcon(":/icons/help.svg"));
    setWindowTitle(BaseTitle(*file_));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QToolBar(this);
    bar->setObjectName("tbHelp");
    bar->setIconSize(QSize(20, 20));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(bar);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    tvContents = new QTreeWidget(splitter_);
    tvContents->setObjectName("tvContents");
    tvContents->setHeaderHidden(true);
    tvContents->setColumnCount(1);
    tvContents->setIconSize(QSize(20, 20));
    tvContents->setUniformRowHeights(true);
    Browser = new THelpBrowser(file_, splitter_);
    Browser->document()->setDocumentMargin(14);
    splitter_->addWidget(tvContents);
    splitter_->addWidget(Browser);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({250, 650});
    layout->addWidget(splitter_, 1);

    actBack = bar->addAction(HelpIcon("back"), "Back", Browser, &QTextBrowser::backward);
    actBack->setObjectName("actBack");
    actBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    actBack->setEnabled(false);
    actForward = bar->addAction(HelpIcon("forward"), "Forward", Browser, &QTextBrowser::forward);
    actForward->setObjectName("actForward");
    actForward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    actForward->setEnabled(false);
    actHome = bar->addAction(HelpIcon("home"), "Home", this, &TfrmHelp::ShowContents);
    actHome->setObjectName("actHome");
    actHome->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    connect(Browser, &QTextBrowser::backwardAvailable, actBack, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, actForward, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, &TfrmHelp::SourceChanged);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);

    FillContents(nullptr, file_->Contents());
    tvContents->setVisible(tvContents->topLevelItemCount() > 0);
    connect(tvContents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { ItemChosen(item); });
    connect(tvContents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { ItemChosen(item); });
    connect(tvContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item && !item->data(0, TopicRole).toString().isEmpty()) ItemChosen(item);
    });
    connect(tvContents, &QTreeWidget::itemExpanded, this,
            [](QTreeWidgetItem* item) { item->setIcon(0, HelpIcon("book_open")); });
    connect(tvContents, &QTreeWidget::itemCollapsed, this,
            [](QTreeWidgetItem* item) { item->setIcon(0, HelpIcon("book_closed")); });
    resize(900, 640);
}

TfrmHelp::~TfrmHelp() = default;

void TfrmHelp::showEvent(QShowEvent* event) {
    // A window placed narrow beside the main window keeps most of its width for the page.
    if (!sized_) {
        sized_ = true;
        const int tree = std::clamp(width() * 5 / 18, 140, 250);
        splitter_->setSizes({tree, std::max(1, width() - tree)});
    }
    QWidget::showEvent(event);
}

void TfrmHelp::FillContents(QTreeWidgetItem* parent, const std::vector<TSitemapEntry>& entries) {
    for (const TSitemapEntry& e : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvContents);
        item->setText(0, e.Name);
        item->setToolTip(0, e.Name);
        item->setData(0, TopicRole, e.Local);
        item->setIcon(0, HelpIcon(e.Children.empty() ? "page" : "book_closed"));
        FillContents(item, e.Children);
    }
}

void TfrmHelp::ItemChosen(QTreeWidgetItem* item) {
    if (!item) return;
    const QString topic = item->data(0, TopicRole).toString();
    if (topic.isEmpty()) {
        item->setExpanded(!item->isExpanded());
        return;
    }
    if (!item->isExpanded() && item->childCount() > 0) item->setExpanded(true);
    const QUrl url = HelpTopicUrl(topic);
    if (url != Browser->source()) Browser->setSource(url);
}

void TfrmHelp::SourceChanged(const QUrl& url) {
    if (Browser->ShowsProblem()) {
        // No page of the file is shown, so no entry of the contents is chosen.
        setWindowTitle("Help");
        const QSignalBlocker block(tvContents);
        tvContents->setCurrentItem(nullptr);
        tvContents->clearSelection();
        return;
    }
    const QString title = BaseTitle(*file_);
    const QString page = Browser->documentTitle();
    setWindowTitle(page.isEmpty() ? title : title + " - " + page);
    // The contents follow the page shown; an entry already chosen for it stays.
    const QString path = url.path();
    auto shows = [&path](const QTreeWidgetItem* item) {
        const QString topic = HelpTopicUrl(item->data(0, TopicRole).toString()).path();
        return !topic.isEmpty() && topic.compare(path, Qt::CaseInsensitive) == 0;
    };
    if (tvContents->currentItem() && shows(tvContents->currentItem())) return;
    for (QTreeWidgetItemIterator it(tvContents); *it; ++it) {
        if (!shows(*it)) continue;
        const QSignalBlocker block(tvContents);
        for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) p->setExpanded(true);
        tvContents->setCurrentItem(*it);
        tvContents->scrollToItem(*it);
        return;
    }
}

void TfrmHelp::ShowTopic(const QString& path) {
    const QUrl url = path.isEmpty() ? ProblemUrl : HelpTopicUrl(path);
    if (url == Browser->source())
        SourceChanged(url);
    else
        Browser->setSource(url);
}

void TfrmHelp::ShowContents() {
    ShowTopic(file_->DefaultTopic());
    if (tvContents->isHidden())
        Browser->setFocus();
    else
        tvContents->setFocus();
}

void TfrmHelp::ShowContext(std::uint32_t id) {
    const auto it = file_->ContextIds().find(id);
    ShowTopic(it == file_->ContextIds().end() ? ProblemUrl.path() : it->second);
    Browser->setFocus();
}

}  // namespace fernweave
