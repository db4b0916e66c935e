// TfrmMain: the one main window. It owns the canvas picture, routes every
// command, keeps the commands enabled or disabled from the state of the object
// and the render worker, and asks before it closes.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "ifs_types.h"

class QAction;
class QCheckBox;
class QDialog;
class QLabel;
class QMenu;
class QScrollArea;
class QStatusBar;
class QTimer;
class QToolBar;

namespace fernweave {

struct FractalState;
class Picture24;
struct PosterSettings;
class TCanvasDocument;
class TCanvasDrawingModel;
class TCanvasImage;
struct TCanvasResult;
struct TCanvasTools;
class TColorPanel;
class TDialogs;
struct TDrawing;
struct TFileChoice;
class THtmlHelp;
class TPosterWorker;
class TRender;
class TSavePicture;
struct TWindowHooks;
class TWorkerHost;
class TfrmImageQuality;
class TfrmNewImage;
class TfrmPoster;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    TfrmMain(FractalState& state, TDialogs& dialogs, QWidget* parent = nullptr);
    ~TfrmMain() override;

    FractalState& State() { return FState; }
    // The canvas picture with FSaved, Resolution and the undo slot's side.
    TCanvasDocument& Document();
    // The rendering, the saves and the poster under way.
    const TWorkerHost& Workers() const;
    Picture24& Canvas();

    // What the handlers ask of the outside world, and where tests step in.
    TWindowHooks& Hooks();
    // The help binding: chmlib, the help file and the help window.
    THtmlHelp& HtmlHelp();

    // Runs a command; an error it does not handle is shown and the program carries on.
    void Guard(const std::function<void()>& command);
    void UpdateCommands();
    // True while a rendering runs, on the window's side: from StartRendering
    // until its RenderDone has run, though the worker clears Rendering before.
    bool RenderActive() const;
    // No drawing, no rendering, no import waiting for its placement: the state in
    // which the commands added beside the original set are enabled.
    bool IsIdle() const;

    // A rendering of a drawing on the canvas erases its outline and grid first;
    // one from the object editor has drawn nothing there. When the editor
    // refines the rendering on the canvas, the undo slot already holds it.
    enum class TRenderStart { Drawing, Editor, EditorRefining };
    void StartRendering(TRenderStart how = TRenderStart::Drawing);
    // Ends a drawing or placement without rendering: outline and grid come
    // off, the colour grid empties and the object from before comes back.
    void CancelDrawingOnCanvas();
    void CenterCanvas();
    void RepaintBackground(TColor background);
    // Saves the canvas: asks for the file and type, then starts a save worker
    // on a copy of the picture. True when a save was started.
    bool SavePicture();
    // Cancels a poster being rendered and waits for its worker.
    void CancelPoster();

    // A lasting instruction in the hint panel, which the hints then leave
    // alone; an empty one gives the panel back to the hints.
    void ShowInstruction(const QString& text);
    bool AutoHint() const { return FAutoHint; }

    // --- files from outside: the command line, a second start, a drop ---
    // An object (by its first bytes) is imported and rendered on its own base
    // triangle; a picture (by its extension) is loaded, after "Save the
    // Picture?" when the canvas holds an unsaved rendering.
    void OpenFile(const QString& fileName);
    // A file handed over or dropped: the window comes to the front (with the
    // desktop's activation token when the second start had one), and the file
    // opens in the Idle state only (and when no dialog is open); until then it
    // waits in FWaitingFiles.
    void OpenFileFromOutside(const QString& fileName, const QString& activationToken = {});
    // Files to open as soon as the window is idle, in order.
    void AddWaitingFiles(const QStringList& files) { FWaitingFiles += files; }
    const QStringList& WaitingFiles() const { return FWaitingFiles; }
    // Opens the waiting files, in order, while the window is idle; the status
    // bar says how many still wait.
    void OpenWaitingFiles();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    // --- commands: run by their actions (findChild<QAction*>("mnuFileSave")) ---
    void mnuFileNewClick();
    void mnuFileLoadClick();
    void mnuFileSaveClick();
    void mnuFileExportClick();
    void mnuFileImportClick();
    void mnuFilePrintClick();
    void mnuFilePosterClick();
    void mnuFilePrintSetupClick();
    void mnuFileExitClick();
    void mnuEditClearClick();
    void mnuEditObjectClick();
    void mnuTuto1Click() { ShowTutorial(1); }
    void mnuTuto2Click() { ShowTutorial(2); }
    void mnuTuto3Click() { ShowTutorial(3); }
    void mnuTuto4Click() { ShowTutorial(4); }
    void mnuHelpContentsClick();
    void mnuHelpWebClick();
    void mnuRenderStartClick();
    void mnuRenderStopClick();
    void mnuEditUndoClick();
    void mnuViewShowClick();
    void mnuViewToolbarClick();
    void mnuViewStatusClick();
    void mnuViewColorClick();
    void mnuHelpAboutClick();

private:
    // --- drawing on the canvas ---
    // `held` is the set of buttons held at the press; the left test runs first.
    void imgPaintMouseDown(Qt::MouseButtons held, int X, int Y);
    void imgPaintMouseMove(int X, int Y);

    // Renders the object edited in the object editor, as a drawing of its triangles.
    void RenderEditedObject(const TDrawing& edited, const TIfsObject& opened);
    // The end of the rendering of `finished`, on the user-interface thread.
    void RenderDone(TRender& finished);

    // The save dialog (then, for JPEG, the Image Quality dialog) under `title`.
    std::optional<TFileChoice> ChooseSaveFile(const QString& title);
    // The end of a save of the picture as it was at change `generation`, on the user-interface thread.
    void SaveDoneNotify(TSavePicture& worker, std::uint64_t generation);
    // "Save the Picture?": true when the window may go on (No, or a save that
    // ended well), false when it must stay as it is (Cancel, a dialog left).
    bool AskToSavePicture();
    // The steps of Load Picture and Import Object after their dialogs.
    void LoadPicture(const QString& fileName);
    bool ImportObject(const QString& fileName);
    // A design from another program's file (IFS text, a flame, a picture's
    // object): its entry chosen when it has several, fitted into the canvas;
    // then it waits for its placement triangle as an imported object does.
    bool ImportDesign(const QString& fileName);
    // Writes the object as the type chosen in Export's dialog after the first:
    // IFS text, a flame, or the picture with its object. False when it fails.
    bool ExportDesign(const QString& fileName, int filterIndex);
    // A waiting import ends as a cancel ends it: the object from before comes back.
    void AbandonImport();
    // The New Image and Image Quality dialogs, made once and kept for the run.
    void CreatePictureDialogs();
    // The end of the poster worker, on the user-interface thread.
    void PosterDone(TPosterWorker& poster);
    std::optional<std::pair<QString, int>> PosterTarget(const PosterSettings& settings);
    // The colour dialog in the program's colours, under the command guard; nothing when closed without a choice.
    std::optional<TColor> ChooseProgramColor(QWidget* owner, TColor initial);
    // Writes status panel 1 (the hint panel) directly, whatever the hint switch says.
    void SetHintPanel(const QString& text);

    // --- state of the window ---
    std::unique_ptr<TWindowHooks> FHooks;
    QStringList FWaitingFiles;
    QTimer* FWaitingTimer = nullptr;   // looks again while files wait
    bool FOpeningWaitingFiles = false;
    bool FAutoHint = true;  // hints go to status panel 1
    std::unique_ptr<THtmlHelp> FHtmlHelp;
    int FSaveFilterIndex = 1;  // the type the save dialog opens on
    int FOpenFilterIndex = 1;  // the type the open dialog opens on
    // The progress window of the poster being rendered, if any.
    QDialog* FPosterProgress = nullptr;

    // --- controls (named as the program's commands are) ---
    QAction* mnuFilePoster;
    QAction *mnuFileNew, *mnuFileLoad, *mnuFileSave, *mnuFileExport, *mnuFileImport, *mnuFilePrint, *mnuFilePrintSetup,
        *mnuFileExit;
    QAction *mnuEditUndo, *mnuEditRedo, *mnuEditClear, *mnuEditObject;
    QAction *mnuRenderStart, *mnuRenderStop;
    QAction *mnuViewShow, *mnuViewToolbar, *mnuViewStatus, *mnuViewColor;
    QMenu* mnuTutorials;
    QAction *mnuTuto1, *mnuTuto2, *mnuTuto3, *mnuTuto4;
    QAction *mnuHelpContents, *mnuHelpWeb, *mnuHelpAbout;
    QAction *btnNew, *btnLoad, *btnSave, *btnExport, *btnImport, *btnPrint, *btnStart, *btnStop, *btnTuto, *btnHelp,
        *btnAbout;
    QMenu* PopupMenu1;
    QAction *popTuto1, *popTuto2, *popTuto3, *popTuto4;
    QToolBar* ToolBar1;
    TColorPanel* pnlColor;
    QCheckBox* cbDiffuse;  // the colour panel's
    QScrollArea* ScrollBox1;
    TCanvasImage* imgPaint;
    QStatusBar* StatusBar1;
    QLabel* StatusPanels[6];
    QLabel* lblWaitingFiles = nullptr;  // "N files waiting", shown only then
    TfrmPoster* frmPoster = nullptr;
    TfrmNewImage* frmNewImage = nullptr;
    TfrmImageQuality* frmImageQuality = nullptr;

    // The editor's two colours live in the swatches of the colour panel; these
    // read and write them there. `TColor c = ForeColor;` takes the value.
    class TSwatchColor {
    public:
        TSwatchColor(TColorPanel* const& panel, bool fore) : panel_(panel), fore_(fore) {}
        TSwatchColor(const TSwatchColor&) = delete;
        TSwatchColor& operator=(const TSwatchColor& other) { return *this = static_cast<TColor>(other); }
        TSwatchColor& operator=(TColor color);
        operator TColor() const;

    private:
        TColorPanel* const& panel_;  // pnlColor, made before either colour is used
        bool fore_;
    };
    TSwatchColor ForeColor{pnlColor, true};
    TSwatchColor BackColor{pnlColor, false};

    QAction* MenuItem(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                      const QKeySequence& shortcut, void (TfrmMain::*handler)());
    QAction* ToolButton(const char* name, const QString& caption, const QString& hint, const QString& icon,
                        void (TfrmMain::*handler)());
    void BuildMenus();
    void BuildToolBar();
    void BuildColorPanel();
    void BuildStatusBar();
    // FormCloseQuery: whether the window may close.
    bool FormCloseQuery();
    void ShowTutorial(int k);
    // What the canvas's drawing model needs to know at a press.
    TCanvasTools CanvasTools() const;
    // The window's part of what a press on the canvas did.
    void FollowCanvas(const TCanvasResult& result);
    // Fills cell n (1-based) of the colour grid with the foreground colour; 0 fills nothing.
    void FillColorCell(int n);
    // Empties the colour grid of the colour panel.
    void ResetColorGrid();

    FractalState& FState;
    TDialogs& FDialogs;
    std::unique_ptr<TCanvasDrawingModel> FCanvasModel;
    std::unique_ptr<TCanvasDocument> FDocument;
    // The background work: the rendering, the saves and the poster. Their end
    // notices run on the user-interface thread; they go before the document.
    std::unique_ptr<TWorkerHost> FWorkers;
};

}  // namespace fernweave
