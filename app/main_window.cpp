#include "main_window.h"
#include "qt_color.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>
#include <exception>

#include "canvas_document.h"
#include "canvas_drawing_model.h"
#include "canvas_image.h"
#include "color_panel.h"
#include "dialogs.h"
#include "html_help.h"
#include "poster_worker.h"
#include "program_info.h"
#include "render_worker.h"
#include "renderer.h"
#include "resources.h"
#include "save_worker.h"
#include "window_hooks.h"
#include "worker.h"

namespace fernweave {

namespace {

// Keeps a button's tooltip from showing while its hint still reaches the status bar.
class TNoToolTip : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

}  // namespace

TfrmMain::TfrmMain(FractalState& state, TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      FHooks(std::make_unique<TWindowHooks>()),
      FHtmlHelp(std::make_unique<THtmlHelp>()),
      FState(state),
      FDialogs(dialogs),
      FCanvasModel(std::make_unique<TCanvasDrawingModel>(state)),
      FDocument(std::make_unique<TCanvasDocument>(state)),
      FWorkers(std::make_unique<TWorkerHost>([this](std::function<void()> call) {
          QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
      })) {
    LoadProgramResources();
    setObjectName("frmMain");
    setWindowTitle(ProgramCaption);
    setWindowIcon(QIcon(":/icons/fernweave.svg"));
    resize(640, 480);
    FHooks->OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setAcceptDrops(true);  // picture and object files dropped from outside
    FHtmlHelp->LoadHtmlHelp();
    FHtmlHelp->HelpFile = DefaultHelpFile();

    BuildMenus();
    BuildToolBar();

    auto* client = new QWidget(this);
    client->setObjectName("pnlClient");
    auto* layout = new QHBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildColorPanel();
    layout->addWidget(pnlColor);
    ScrollBox1 = new QScrollArea(client);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setAlignment(Qt::AlignCenter);  // centred along each axis where the canvas is smaller
    ScrollBox1->setWidgetResizable(false);
    imgPaint = new TCanvasImage(FDocument->Picture());
    imgPaint->setAccessibleName("Canvas");  // its description says the size and the pointer's position
    ScrollBox1->setWidget(imgPaint);
    connect(imgPaint, &TCanvasImage::MouseDown, this,
            [this](Qt::MouseButtons held, int x, int y) { Guard([&] { imgPaintMouseDown(held, x, y); }); });
    connect(imgPaint, &TCanvasImage::MouseMove, this,
            [this](Qt::MouseButtons, int x, int y) { Guard([&] { imgPaintMouseMove(x, y); }); });
    layout->addWidget(ScrollBox1, 1);
    setCentralWidget(client);
    BuildStatusBar();

    // The start-up state of a fresh run.
    imgPaint->setCursor(ProgramCursor(TCursorId::Pencil));
    BackColor = clBlack;
    ForeColor = clWhite;
    FDocument->NewPicture(Picture24(DefaultCanvasWidth, DefaultCanvasHeight, BackColor), TResolution{72, 72});
    imgPaint->PictureChanged();
    FState.PointCount = 0;
    FState.UsedColorCount = 0;
    FState.Rendering = false;
    FState.StopRequested = false;
    FState.ObjectImported = false;
    CreatePictureDialogs();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

// A rendering still running when the program is ended otherwise stops with FWorkers->
TfrmMain::~TfrmMain() { CancelPoster(); }

TCanvasDocument& TfrmMain::Document() { return *FDocument; }
const TWorkerHost& TfrmMain::Workers() const { return *FWorkers; }
Picture24& TfrmMain::Canvas() { return FDocument->Picture(); }
TWindowHooks& TfrmMain::Hooks() { return *FHooks; }
THtmlHelp& TfrmMain::HtmlHelp() { return *FHtmlHelp; }

bool TfrmMain::IsIdle() const { return FState.PointCount == 0 && !RenderActive() && !FState.ObjectImported; }

TfrmMain::TSwatchColor& TfrmMain::TSwatchColor::operator=(TColor color) {
    if (fore_)
        panel_->SetForeColor(color);
    else
        panel_->SetBackColor(color);
    return *this;
}

TfrmMain::TSwatchColor::operator TColor() const { return fore_ ? panel_->ForeColor() : panel_->BackColor(); }

bool TfrmMain::RenderActive() const { return FState.Rendering || FWorkers->Find<TRender>() != nullptr; }

void TfrmMain::Guard(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        FDialogs.Message(this, ProgramCaption, QString::fromLocal8Bit(error.what()), TDialogs::Buttons::Ok,
                         TDialogs::Icon::Error);
    } catch (...) {
        FDialogs.Message(this, ProgramCaption, "Unknown error.", TDialogs::Buttons::Ok, TDialogs::Icon::Error);
    }
}

QAction* TfrmMain::MenuItem(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                            const QKeySequence& shortcut, void (TfrmMain::*handler)()) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setStatusTip(hint);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    if (handler) connect(action, &QAction::triggered, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    return action;
}

QAction* TfrmMain::ToolButton(const char* name, const QString& caption, const QString& hint, const QString& icon,
                              void (TfrmMain::*handler)()) {
    auto* action = new QAction(ToolbarIcon(icon), caption, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (handler) connect(action, &QAction::triggered, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    ToolBar1->addAction(action);
    QWidget* button = ToolBar1->widgetForAction(action);
    button->setObjectName(name);
    button->setMinimumSize(47, 40);
    return action;
}

void TfrmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu("&File");
    file->setObjectName("mnuFile");
    mnuFileNew = MenuItem(file, "mnuFileNew", "&New Image", "Create a New Image", QKeySequence("Ctrl+N"), &TfrmMain::mnuFileNewClick);
    file->addSeparator();
    mnuFileLoad = MenuItem(file, "mnuFileLoad", "&Load Picture from File", "", QKeySequence("Ctrl+L"), &TfrmMain::mnuFileLoadClick);
    mnuFileSave = MenuItem(file, "mnuFileSave", "&Save Picture to File", "", QKeySequence("Ctrl+S"), &TfrmMain::mnuFileSaveClick);
    mnuFilePoster = MenuItem(file, "mnuFilePoster", "Render P&oster...", "Render the Object as a Large Picture", {},
                             &TfrmMain::mnuFilePosterClick);
    file->addSeparator();
    mnuFileExport = MenuItem(file, "mnuFileExport", "&Export Object to File", "", QKeySequence("Ctrl+E"), &TfrmMain::mnuFileExportClick);
    mnuFileImport = MenuItem(file, "mnuFileImport", "&Import Object from File", "", QKeySequence("Ctrl+I"), &TfrmMain::mnuFileImportClick);
    file->addSeparator();
    mnuFilePrint = MenuItem(file, "mnuFilePrint", "&Print...", "Print the Picture", QKeySequence("Ctrl+P"), &TfrmMain::mnuFilePrintClick);
    mnuFilePrintSetup = MenuItem(file, "mnuFilePrintSetup", "P&rint Setup...", "Change the Printing Options", {},
                                 &TfrmMain::mnuFilePrintSetupClick);
    file->addSeparator();
    mnuFileExit = MenuItem(file, "mnuFileExit", "E&xit", "Quit the Application", {}, &TfrmMain::mnuFileExitClick);

    QMenu* edit = bar->addMenu("&Edit");
    edit->setObjectName("mnuEdit");
    mnuEditUndo = MenuItem(edit, "mnuEditUndo", "&Undo Rendering", "", QKeySequence("Ctrl+Z"), &TfrmMain::mnuEditUndoClick);
    mnuEditRedo = MenuItem(edit, "mnuEditRedo", "&Redo Rendering", "", QKeySequence("Ctrl+Y"), &TfrmMain::mnuEditUndoClick);
    edit->addSeparator();
    mnuEditClear = MenuItem(edit, "mnuEditClear", "&Clear the Canvas", "", QKeySequence(Qt::Key_Delete), &TfrmMain::mnuEditClearClick);
    edit->addSeparator();
    mnuEditObject = MenuItem(edit, "mnuEditObject", "Edit &Object...", "Edit the Triangles of the Object", QKeySequence("Ctrl+T"),
                             &TfrmMain::mnuEditObjectClick);

    QMenu* render = bar->addMenu("&Render");
    render->setObjectName("mnuRender");
    mnuRenderStart = MenuItem(render, "mnuRenderStart", "&Start Rendering", "", {}, &TfrmMain::mnuRenderStartClick);
    mnuRenderStop = MenuItem(render, "mnuRenderStop", "S&top Rendering", "", {}, &TfrmMain::mnuRenderStopClick);

    QMenu* view = bar->addMenu("&View");
    view->setObjectName("mnuView");
    mnuViewShow = MenuItem(view, "mnuViewShow", "Show &Gird", "", {}, &TfrmMain::mnuViewShowClick);
    mnuViewShow->setCheckable(true);
    view->addSeparator();
    mnuViewToolbar = MenuItem(view, "mnuViewToolbar", "&Toolbar", "", {}, &TfrmMain::mnuViewToolbarClick);
    mnuViewStatus = MenuItem(view, "mnuViewStatus", "&Status Bar", "", {}, &TfrmMain::mnuViewStatusClick);
    mnuViewColor = MenuItem(view, "mnuViewColor", "&Color Pallete", "", {}, &TfrmMain::mnuViewColorClick);
    for (QAction* a : {mnuViewToolbar, mnuViewStatus, mnuViewColor}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    mnuTutorials = bar->addMenu("&Tutorials");
    mnuTutorials->setObjectName("mnuTutorials");
    mnuTutorials->menuAction()->setStatusTip("Show Animated Tutorials");
    mnuTuto1 = MenuItem(mnuTutorials, "mnuTuto1", "&1.Drawing a snowflake", "", {}, &TfrmMain::mnuTuto1Click);
    mnuTuto2 = MenuItem(mnuTutorials, "mnuTuto2", "&2.Drawing a leaf", "", {}, &TfrmMain::mnuTuto2Click);
    mnuTuto3 = MenuItem(mnuTutorials, "mnuTuto3", "&3.Drawing a tree", "", {}, &TfrmMain::mnuTuto3Click);
    mnuTuto4 = MenuItem(mnuTutorials, "mnuTuto4", "&4.Drawing a grass", "", {}, &TfrmMain::mnuTuto4Click);

    QMenu* help = bar->addMenu("&Help");
    help->setObjectName("mnuHelp");
    mnuHelpContents = MenuItem(help, "mnuHelpContents", "&Contents", "Show Help Contents", QKeySequence(Qt::Key_F1),
                               &TfrmMain::mnuHelpContentsClick);
    help->addSeparator();
    mnuHelpWeb = MenuItem(help, "mnuHelpWeb", "&Web Page", "Visit the Web Page of this Software", {}, &TfrmMain::mnuHelpWebClick);
    help->addSeparator();
    mnuHelpAbout = MenuItem(help, "mnuHelpAbout", "&About Fernweave...", "About the Software", {}, &TfrmMain::mnuHelpAboutClick);

    // The tutorials drop-down of the toolbar: the same four commands.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    popTuto1 = MenuItem(PopupMenu1, "popTuto1", "&1.Drawing a snowflake", "", {}, &TfrmMain::mnuTuto1Click);
    popTuto2 = MenuItem(PopupMenu1, "popTuto2", "&2.Drawing a leaf", "", {}, &TfrmMain::mnuTuto2Click);
    popTuto3 = MenuItem(PopupMenu1, "popTuto3", "&3.Drawing a tree", "", {}, &TfrmMain::mnuTuto3Click);
    popTuto4 = MenuItem(PopupMenu1, "popTuto4", "&4.Drawing a grass", "", {}, &TfrmMain::mnuTuto4Click);
}

void TfrmMain::BuildToolBar() {
    ToolBar1 = addToolBar("Toolbar");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setIconSize(QSize(20, 20));
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->toggleViewAction()->setVisible(false);

    btnNew = ToolButton("btnNew", "New", "Create a New Image", "new", &TfrmMain::mnuFileNewClick);
    ToolBar1->addSeparator();
    btnLoad = ToolButton("btnLoad", "Load", "Load Picture from File", "load", &TfrmMain::mnuFileLoadClick);
    btnSave = ToolButton("btnSave", "Save", "Save Picture to File", "save", &TfrmMain::mnuFileSaveClick);
    ToolBar1->addSeparator();
    btnExport = ToolButton("btnExport", "Export", "Export Object to File", "export", &TfrmMain::mnuFileExportClick);
    btnImport = ToolButton("btnImport", "Import", "Import Object from File", "import", &TfrmMain::mnuFileImportClick);
    ToolBar1->addSeparator();
    btnPrint = ToolButton("btnPrint", "Print", "Print the Picture", "print", &TfrmMain::mnuFilePrintClick);
    ToolBar1->addSeparator();
    btnStart = ToolButton("btnStart", "Start", "Start Rendering", "start", &TfrmMain::mnuRenderStartClick);
    btnStop = ToolButton("btnStop", "Stop", "Stop Rendering", "stop", &TfrmMain::mnuRenderStopClick);
    ToolBar1->addSeparator();
    // Pressing the face does nothing; the arrow drops the tutorials down.
    btnTuto = ToolButton("btnTuto", "Tutorials", "Show Animated Tutorials", "tutorials", nullptr);
    auto* tuto = static_cast<QToolButton*>(ToolBar1->widgetForAction(btnTuto));
    tuto->setMenu(PopupMenu1);
    tuto->setPopupMode(QToolButton::MenuButtonPopup);
    ToolBar1->addSeparator();
    btnHelp = ToolButton("btnHelp", "Help", "Show Help Contents", "help", &TfrmMain::mnuHelpContentsClick);
    btnAbout = ToolButton("btnAbout", "About", "About the Software", "about", &TfrmMain::mnuHelpAboutClick);
    ToolBar1->widgetForAction(btnAbout)->installEventFilter(new TNoToolTip(this));
}

void TfrmMain::BuildColorPanel() {
    pnlColor = new TColorPanel(ProgramCursor(TCursorId::Eyedrop));
    cbDiffuse = pnlColor->cbDiffuse;
    pnlColor->BackgroundLocked = [this] { return FState.PictureLoaded || RenderActive() || FState.PointCount > 0; };
    pnlColor->BackgroundChanged = [this](TColor background) { Guard([&] { RepaintBackground(background); }); };
    pnlColor->ChooseColor = [this](TColor initial) { return ChooseProgramColor(this, initial); };
}

std::optional<TColor> TfrmMain::ChooseProgramColor(QWidget* owner, TColor initial) {
    std::optional<TColor> result;
    Guard([&] {
        if (const auto chosen = FDialogs.ChooseColor(owner, ToQColor(initial))) result = FromQColor(*chosen);
    });
    return result;
}

void TfrmMain::BuildStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    const char* texts[6] = {"Hint:", "", "Status:", "Ready", "Position:", ""};
    const int widths[6] = {36, 240, 50, 120, 62, 50};
    for (int i = 0; i < 6; ++i) {
        auto* panel = new QLabel(texts[i]);
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        // Keep the proportions, but never narrower than the text the panel shows.
        int width = widths[i];
        if (i == 0 || i == 2 || i == 4) width = std::max(width, panel->fontMetrics().horizontalAdvance(texts[i]) + 6);
        if (i == 3) width = std::max(width, panel->fontMetrics().horizontalAdvance("Rendering...") + 10);
        if (i == 5) width = std::max(width, panel->fontMetrics().horizontalAdvance("(1200,1200)") + 10);
        panel->setFixedWidth(width);
        if (i % 2 == 1) panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(panel);
        StatusPanels[i] = panel;
    }
}

void TfrmMain::SetHintPanel(const QString& text) { StatusPanels[1]->setText(text); }

void TfrmMain::ShowInstruction(const QString& text) {
    FAutoHint = text.isEmpty();
    SetHintPanel(text);
}

bool TfrmMain::event(QEvent* event) {
    // Hints go to panel 1; the status bar's own message would hide the panels.
    if (event->type() == QEvent::StatusTip) {
        if (FAutoHint) SetHintPanel(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    UpdateCommands();
    CenterCanvas();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    CenterCanvas();
}

void TfrmMain::CenterCanvas() {
    // The scroll box centres its canvas along each axis on which it is
    // smaller than the visible area, and keeps the scroll position otherwise.
    imgPaint->PictureChanged();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    bool canClose = false;
    Guard([&] { canClose = FormCloseQuery(); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

bool TfrmMain::FormCloseQuery() {
    // The poster is stopped only once the whole close is settled: a Cancel
    // anywhere after the first question leaves it running.
    if (FWorkers->Find<TPosterWorker>() &&
        FDialogs.Message(this, "Fernweave", "A poster is still being rendered. Stop it and quit?",
                         TDialogs::Buttons::YesNo, TDialogs::Icon::Warning) != TDialogs::Answer::Yes)
        return false;
    if (RenderActive()) {
        FDialogs.Warn(this, "Fernweave", "Please stop rendering first!");
        return false;
    }
    if (!FDocument->FSaved && !AskToSavePicture()) return false;
    CancelPoster();
    return true;
}

bool TfrmMain::AskToSavePicture() {
    switch (FDialogs.Message(this, "Fernweave", "Save the Picture?", TDialogs::Buttons::YesNoCancel,
                             TDialogs::Icon::Warning)) {
        case TDialogs::Answer::No:
            return true;
        case TDialogs::Answer::Yes:
            break;
        default:
            return false;
    }
    if (!SavePicture()) return false;
    // The save workers' end handlers run here; a failed save has said so and
    // leaves the picture unsaved, so the window stays open.
    while (FWorkers->Find<TSavePicture>()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return FDocument->FSaved;
}

void TfrmMain::UpdateCommands() {
    const TCommandStates on = CommandStates(*FDocument, RenderActive(), FWorkers->Find<TPosterWorker>() != nullptr);
    // Menu item and toolbar button of one command always get the same state.
    auto set = [&on](TCommand command, QAction* menu, QAction* button = nullptr) {
        menu->setEnabled(on[command]);
        if (button) button->setEnabled(on[command]);
    };
    set(TCommand::New, mnuFileNew, btnNew);
    set(TCommand::Load, mnuFileLoad, btnLoad);
    set(TCommand::Save, mnuFileSave, btnSave);
    set(TCommand::Poster, mnuFilePoster);
    set(TCommand::Export, mnuFileExport, btnExport);
    set(TCommand::Import, mnuFileImport, btnImport);
    set(TCommand::Print, mnuFilePrint, btnPrint);
    set(TCommand::Undo, mnuEditUndo);
    set(TCommand::Redo, mnuEditRedo);
    set(TCommand::Clear, mnuEditClear);
    set(TCommand::EditObject, mnuEditObject);
    set(TCommand::Start, mnuRenderStart, btnStart);
    set(TCommand::Stop, mnuRenderStop, btnStop);
    set(TCommand::ShowGrid, mnuViewShow);
    cbDiffuse->setEnabled(on[TCommand::Diffuse]);
}

void TfrmMain::mnuRenderStartClick() {
    if (FState.CanStartRendering()) {
        StartRendering();
        UpdateCommands();
    }
}

void TfrmMain::mnuRenderStopClick() { FState.StopRequested = true; }

void TfrmMain::StartRendering(TRenderStart how) {
    // An object without maps is never rendered: the start ends the drawing as a cancel does.
    if (FState.MapCount <= 0) {
        CancelDrawingOnCanvas();
        return;
    }
    Picture24& canvas = Canvas();
    if (how == TRenderStart::Drawing) FCanvasModel->EraseDrawing(canvas, mnuViewShow->isChecked());
    ResetColorGrid();
    FDocument->BeginRendering(how != TRenderStart::EditorRefining);
    imgPaint->setCursor(Qt::ArrowCursor);
    StatusPanels[3]->setText("Rendering...");
    FState.Rendering = true;
    FState.StopRequested = false;
    FState.PointCount = 0;
    FState.UsedColorCount = 0;
    // The worker gets its numbers ready-made, so nothing the window reads is written by it.
    PrepareRendering(FState);
    imgPaint->FrameClock().Start();
    FWorkers->Start<TRender>(
        [&](TWorker::EndNotice ended) {
            return std::make_unique<TRender>(FState, canvas, imgPaint->WorkerRepaint(), std::move(ended), FHooks->FRenderStepLimit);
        },
        [this](TRender& finished) {
            auto done = [this, &finished] { Guard([&] { RenderDone(finished); }); };
            if (FHooks->RenderEndGate)
                FHooks->RenderEndGate(done);
            else
                done();
        });
    imgPaint->update();
}

void TfrmMain::RenderDone(TRender& finished) {
    imgPaint->setCursor(ProgramCursor(TCursorId::Pencil));
    imgPaint->FrameClock().Finish();  // the points plotted since the last frame
    cbDiffuse->setChecked(true);
    StatusPanels[3]->setText("Ready");
    FDocument->RenderEnded();
    FWorkers->Release(finished);  // from here the commands see the rendering ended
    UpdateCommands();
}

void TfrmMain::mnuEditUndoClick() {
    AbandonImport();
    FDocument->SwapWithUndoSlot(BackColor);
    imgPaint->PictureChanged();
    UpdateCommands();
    CenterCanvas();
}

void TfrmMain::RepaintBackground(TColor background) {
    FDocument->RepaintBackground(background);
    imgPaint->update();
}

void TfrmMain::CancelDrawingOnCanvas() { FollowCanvas(FCanvasModel->Cancel(Canvas(), mnuViewShow->isChecked())); }

void TfrmMain::ResetColorGrid() {
    FState.UsedColorCount = 0;
    pnlColor->ResetColorGrid();
}

void TfrmMain::FillColorCell(int n) {
    if (n > 0) pnlColor->FillColorCell(n);
}

void TfrmMain::mnuEditClearClick() {
    AbandonImport();
    FDocument->Clear(BackColor);
    UpdateCommands();
    imgPaint->update();
}

void TfrmMain::mnuViewShowClick() {
    // The check mark flips with the command; the grid follows at the next drawing.
}

void TfrmMain::mnuViewToolbarClick() {
    ToolBar1->setVisible(mnuViewToolbar->isChecked());
    CenterCanvas();
}

void TfrmMain::mnuViewStatusClick() {
    StatusBar1->setVisible(mnuViewStatus->isChecked());
    CenterCanvas();
}

void TfrmMain::mnuViewColorClick() {
    pnlColor->setVisible(mnuViewColor->isChecked());
    CenterCanvas();
}

void TfrmMain::mnuFileExitClick() { close(); }

void TfrmMain::mnuHelpAboutClick() {
    if (FHooks->ShowAbout) FHooks->ShowAbout();
}

void TfrmMain::mnuHelpWebClick() {
    if (FHooks->OpenUrl) FHooks->OpenUrl(QUrl(WebPageAddress));
}

// Commands that the picture, file, print and help parts of the program fill in.
void TfrmMain::mnuHelpContentsClick() { FHtmlHelp->HtmlHelp(HH_DISPLAY_TOC, 0, this); }
void TfrmMain::ShowTutorial(int k) { FHtmlHelp->HtmlHelp(HH_HELP_CONTEXT, static_cast<std::uint32_t>(1000 + k), this); }

}  // namespace fernweave
