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
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTableWidget;

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
    QRect World;  // the canvas area shown, in canvas pixels (the canvas plus triangles outside it)
    bool ShowTriangles = true;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TfrmEditObject& dialog_;
    QImage scratch_;  // the paced display's 32-bit copy, at 100 %
    bool panning_ = false;
    QPoint panFrom_;
};

class TfrmEditObject : public QDialog {
    Q_OBJECT
public:
    // `background` is the picture the edited object will be rendered on.
    TfrmEditObject(const TIfsObject& object, std::shared_ptr<const Picture24> background, QWidget* parent = nullptr,
                   TPreviewLimits limits = {});
    ~TfrmEditObject() override;

    TObjectEditModel& Model() { return model_; }
    const TEditObject& EditedObject() const { return model_.Object(); }
    // The colour dialog, preset to a map's colour; nothing when cancelled.
    std::function<std::optional<TColor>(TColor)> ChooseColor;

    // After every change of the model: the list, the numbers, the warnings, the preview.
    void ModelChanged();
    void SetZoom(double zoom, QPointF anchor = {-1, -1});
    void FitToView();
    void UndoEdit();
    void RedoEdit();
    // A frame of the preview at the next tick of its frame clock.
    void RequestFrame();
    std::uint64_t ShownChange() const { return shownChange_; }

    TEditPreview* imgPreview;
    QScrollArea* ScrollBox;
    QCheckBox *cbTriangles, *cbSnap;
    QLabel* lblZoom;
    QPushButton *btnFit, *btnActualSize;
    QTableWidget* lstMaps;
    QPushButton *btnAdd, *btnDuplicate, *btnDelete, *btnUndo, *btnRedo;
    QSpinBox *edtX, *edtY;
    QLabel *lblVertex, *lblWarning, *lblChances;
    QPushButton *btnRender, *btnCancel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FrameTick();
    void RefreshList();
    void RefreshNumbers();
    void CommitNumbers();
    void ListCellClicked(int row, int column);

    TObjectEditModel model_;
    std::shared_ptr<const Picture24> background_;
    std::unique_ptr<TPreviewRenderer> preview_;
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
