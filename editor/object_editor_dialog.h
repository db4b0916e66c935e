// The "Edit Object" dialog: a view over the object editor's model, with the
// live preview drawn by its own chaos game and the triangles over it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <functional>
#include <memory>
#include <optional>

#include "object_edit_model.h"
#include "picture.h"
#include "preview_renderer.h"

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;

namespace fernweave {

class TfrmEditObject;
class TFrameClock;

// The preview: the frame at the zoom, the triangles over it.
class TEditPreview : public QWidget {
    Q_OBJECT
public:
    explicit TEditPreview(TfrmEditObject& dialog);

    // Canvas point under a widget position, and the widget position of a canvas point.
    TEditPoint ToCanvas(QPointF p) const;
    QPointF ToScreen(double x, double y) const;
    void Relayout();

    Picture24 Frame;  // the newest frame of the preview's game
    double Zoom = 1;
    QRect World;  // the area shown, in canvas pixels: the canvas, the triangles outside it and room around them
    bool ShowTriangles = true;
    bool ShowFixedPoints = false;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PaintGrid(QPainter& p, const QRect& exposed);
    void PaintFixedPoints(QPainter& p);
    TfrmEditObject& dialog_;
    QImage scratch_;  // the paced display's 32-bit copy, at 100 %
    bool panning_ = false;
    QPoint panFrom_;
    // Ctrl+drag from empty space: a box that selects the maps within it.
    bool boxing_ = false;
    QPointF boxFrom_, boxTo_;
    // A Ctrl+press: released without moving, its triangle joins or leaves the selection.
    bool ctrlPress_ = false;
    std::vector<int> selectedBefore_;
    int primaryBefore_ = -1;
};

class TfrmEditObject : public QDialog {
    Q_OBJECT
public:
    // `background` is the picture the edited object will be rendered on;
    // `canvas`, when given, the picture shown now (previewed under the object
    // when the preview is not on the background only).
    TfrmEditObject(const TIfsObject& object, std::shared_ptr<const Picture24> background, QWidget* parent = nullptr,
                   TPreviewLimits limits = {}, std::shared_ptr<const Picture24> canvas = nullptr);

    TObjectEditModel& Model() { return model_; }
    const TDrawing& EditedObject() const { return model_.Object(); }
    // The colour dialog, preset to a map's colour; nothing when cancelled.
    std::function<std::optional<TColor>(TColor)> ChooseColor;
    // Asks "Discard the changes to the object?"; true for Yes. Unset: discards.
    std::function<bool()> ConfirmDiscard;

    // After every change of the model: the list, the numbers, the warnings, the preview.
    void ModelChanged();
    // After an edit of the model: the refresh, when the edit changed anything.
    void Edited(bool changed) {
        if (changed) ModelChanged();
    }
    void SetZoom(double zoom, QPointF anchor = {-1, -1});
    void FitToView();
    void UndoEdit() { Edited(model_.Undo()); }
    void RedoEdit() { Edited(model_.Redo()); }
    void DeleteSelectedMap() { Edited(model_.DeleteMap()); }
    void CopyMaps();
    void PasteMaps() { Edited(model_.PasteMaps(copied_) > 0); }
    // Cancel and Esc: asks first when anything changed.
    void reject() override;
    // A frame of the preview at the next tick of its frame clock.
    void RequestFrame();

    TEditPreview* imgPreview;
    QScrollArea* ScrollBox;
    QCheckBox *cbTriangles, *cbFixedPoints, *cbBackgroundOnly, *cbSnap, *cbSnapVertices;
    QLabel* lblZoom;
    QPushButton *btnFit, *btnActualSize;
    QTableWidget* lstMaps;
    QPushButton *btnAdd, *btnDuplicate, *btnDelete, *btnCopy, *btnPaste, *btnUndo, *btnRedo;
    QRadioButton *rbByArea, *rbCustom;
    QSpinBox *edtX, *edtY;
    QLabel *lblVertex, *lblWarning, *lblAddReason, *lblRenderReason;
    // The selected map by number: coefficients A-F, then scale x, scale y,
    // rotation, shear, offset x, offset y.
    QGroupBox* grpNumbers;
    QDoubleSpinBox* edtCoefficient[6];
    QDoubleSpinBox* edtForm[6];
    QDoubleSpinBox *edtRotateBy, *edtScaleBy;
    QPushButton *btnRotateBy, *btnScaleBy, *btnFlipH, *btnFlipV;
    QCheckBox* cbAboutVertex1;
    QPushButton *btnRender, *btnCancel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FrameTick();
    void RefreshList();
    void RefreshNumbers();
    void RefreshMapNumbers();
    void CommitNumbers();
    // Number i of the selected map's coefficients, or of its form, as typed.
    void CommitMapNumber(int i, bool form);
    void ListCellClicked(int row, int column);
    void ListItemChanged(QTableWidgetItem* item);
    // The preview's extent: the canvas and every triangle (while dragging, also what it showed).
    void UpdateWorld();
    std::shared_ptr<const Picture24> PreviewBackground() const;
    // The content with a viewport's worth of room on every side, so that a
    // zoom about any point can keep that point where it is.
    QRect Padded(const QRect& content) const;
    // Scrolls the preview's point `corner` (rounded) to the view's top left corner.
    void ScrollTo(QPointF corner);

    TObjectEditModel model_;
    std::shared_ptr<const Picture24> background_;
    std::shared_ptr<const Picture24> canvas_;
    QRect content_;  // the canvas and the triangles, in canvas pixels
    std::vector<TDrawnMap> copied_;  // what Copy took, for Paste
    std::unique_ptr<TPreviewRenderer> preview_;
    bool backgroundChanged_ = false;  // the preview's background changed since the last submit
    TFrameClock* frameClock_;
    std::uint64_t submittedRevision_ = ~std::uint64_t{0};
    std::uint64_t submittedChange_ = 0;
    std::uint64_t shownChange_ = 0;
    QElapsedTimer sinceSubmit_;
    std::uint64_t frameSerial_ = 0;
    bool refreshing_ = false;
    bool openedFitted_ = false;
};

}  // namespace fernweave
