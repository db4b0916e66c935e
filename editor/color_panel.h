// pnlColor: the column at the left of the main window with the editor's two
// colours, the spectrum, the colour grid of the drawing under way, the swap
// arrow, the Diffuse check box and the colour probe.
#pragma once

#include <QFrame>
#include <QImage>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "ifs_types.h"

class QCheckBox;
class QLabel;

namespace fernweave {

// A bitmap shown unstretched at the top-left, so mouse coordinates are pixel coordinates.
class TPanelImage : public QWidget {
    Q_OBJECT
public:
    explicit TPanelImage(QWidget* parent = nullptr);

    const QImage& Image() const { return image_; }
    void SetImage(QImage image);
    // Sets the pixels of `area` (clipped to the bitmap) to `color`.
    void FillRect(const QRect& area, TColor color);

    std::function<void(QPoint)> MouseMove;
    std::function<void(QPoint)> MouseDown;
    std::function<void()> MouseLeave;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage image_;
};

// A square swatch: filled with its colour, outlined in black.
class TSwatch : public QWidget {
    Q_OBJECT
public:
    explicit TSwatch(TColor color, QWidget* parent = nullptr);

    TColor Color() const { return color_; }
    void SetColor(TColor color);

    std::function<void()> MouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TColor color_;
};

class TColorPanel : public QFrame {
    Q_OBJECT
public:
    // `eyedropper` is the cursor over the spectrum and the colour grid.
    explicit TColorPanel(const QCursor& eyedropper, QWidget* parent = nullptr);

    TColor ForeColor() const { return shpFore->Color(); }
    void SetForeColor(TColor color) { shpFore->SetColor(color); }
    TColor BackColor() const { return shpBack->Color(); }
    void SetBackColor(TColor color) { shpBack->SetColor(color); }
    // The colour the probe shows (meaningful while it is visible).
    TColor ProbeColor() const { return probeColor_; }

    // Fills the inside of grid cell n (1 to 60, row by row) with the foreground colour.
    void FillColorCell(int n);
    // Empties the colour grid.
    void ResetColorGrid();
    // Hides the probe when the pointer is over neither the spectrum nor the grid.
    void ApplicationIdle();

    // While true, the background colour is not to change (a picture is loaded,
    // a drawing is under way or a rendering runs).
    std::function<bool()> BackgroundLocked;
    // The background colour has changed to the given colour.
    std::function<void(TColor)> BackgroundChanged;
    // Asks the user for a colour, preset to `initial`; nothing when cancelled.
    std::function<std::optional<TColor>(TColor initial)> ChooseColor;

    QFrame *Bevel1, *Bevel2, *Bevel3, *Bevel4, *Bevel5;
    TPanelImage* imgColor;
    TPanelImage* imgGrid;
    TPanelImage* imgSwap;
    TSwatch* shpBack;
    TSwatch* shpFore;
    QCheckBox* cbDiffuse;
    QFrame* pnlDropColor;
    QLabel *lblRed, *lblGreen, *lblBlue;

protected:
    void changeEvent(QEvent* event) override;

private:
    void imgColorMouseMove(QPoint p);
    void imgColorMouseDown(QPoint p);
    void imgGridMouseMove(QPoint p);
    void imgGridMouseDown(QPoint p);
    void shpForeMouseDown();
    void shpBackMouseDown();
    void imgSwapMouseDown();

    // Shows the colour of pixel p of `image` in the probe; false (and no change) off the bitmap.
    bool ProbeUpdate(const TPanelImage* image, QPoint p);
    void SetProbeVisible(bool visible);
    bool IsLocked() const { return BackgroundLocked && BackgroundLocked(); }
    // Places the controls; rows grow where the desktop font needs more room.
    void ArrangeControls();

    // The grid's description for screen readers, from the cells filled so far.
    void DescribeColorGrid();

    TColor probeColor_ = clBlack;
    QTimer idleTimer_;
    std::vector<std::optional<TColor>> gridCells_;
};

}  // namespace fernweave
