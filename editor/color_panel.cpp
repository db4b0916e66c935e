#include "color_panel.h"
#include "qt_color.h"

#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStringList>
#include <QStyleOptionButton>
#include <algorithm>

#include "dialog_buttons.h"

namespace fernweave {

namespace {


QImage LoadBitmap(const QString& name) { return QImage(name).convertToFormat(QImage::Format_RGB32); }

// The swap arrow is drawn on white; the white shows the panel through.
QImage WhiteTransparent(QImage image) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFFFFFF) line[x] = qRgba(0, 0, 0, 0);
    }
    return image;
}

// A point of the grid lies on a cell's inside, not on an outline or in a gap.
bool OnCellInside(QPoint p) {
    const int x = p.x() % 10, y = p.y() % 10;
    return p.x() >= 0 && p.y() >= 0 && x >= 3 && x <= 8 && y >= 3 && y <= 8;
}

// The largest size of `font`, at most its own, at which `fits` holds (never below 8 px).
template <typename Fits>
QFont Fitted(QFont font, Fits fits) {
    for (int px = QFontInfo(font).pixelSize(); !fits(font) && px > 8;) font.setPixelSize(--px);
    return font;
}

constexpr int GridCells = 60;
constexpr int ProbeInterval = 100;  // ms between checks while the probe shows

// "red 255, green 128, blue 0": a colour as a screen reader says it.
QString ColorWords(TColor color) {
    return QString("red %1, green %2, blue %3").arg(RedOf(color)).arg(GreenOf(color)).arg(BlueOf(color));
}

}  // namespace

// --- TPanelImage ---

TPanelImage::TPanelImage(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);  // the probe follows moves without a button held
}

void TPanelImage::SetImage(QImage image) {
    image_ = std::move(image);
    update();
}

void TPanelImage::FillRect(const QRect& area, TColor color) {
    const QRect clipped = area & image_.rect();
    const QRgb rgb = qRgb(RedOf(color), GreenOf(color), BlueOf(color));
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x) image_.setPixel(x, y, rgb);
    update();
}

void TPanelImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void TPanelImage::mouseMoveEvent(QMouseEvent* event) {
    if (MouseMove) MouseMove(event->position().toPoint());
}

void TPanelImage::mousePressEvent(QMouseEvent* event) {
    if (MouseDown) MouseDown(event->position().toPoint());
}

void TPanelImage::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (MouseLeave) MouseLeave();
}

// --- TSwatch ---

TSwatch::TSwatch(TColor color, QWidget* parent) : QWidget(parent), color_(color) {
    setAccessibleDescription(ColorWords(color));
}

void TSwatch::SetColor(TColor color) {
    color_ = color;
    // A screen reader says the colour that the swatch shows.
    setAccessibleDescription(ColorWords(color));
    update();
}

void TSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), ToQColor(color_));
}

void TSwatch::mousePressEvent(QMouseEvent*) {
    if (MouseDown) MouseDown();
}

// --- TColorPanel ---

TColorPanel::TColorPanel(const QCursor& eyedropper, QWidget* parent) : QFrame(parent) {
    setObjectName("pnlColor");
    setFixedWidth(78);
    setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto bevel = [this](const char* name) {
        auto* frame = Named<QFrame>(name, this);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        return frame;
    };
    Bevel1 = bevel("Bevel1");
    Bevel2 = bevel("Bevel2");
    Bevel5 = bevel("Bevel5");
    Bevel3 = bevel("Bevel3");
    Bevel4 = bevel("Bevel4");

    imgColor = Named<TPanelImage>("imgColor", this);
    imgColor->SetImage(LoadBitmap(":/COLOR"));
    imgColor->setCursor(eyedropper);
    imgColor->MouseMove = [this](QPoint p) { imgColorMouseMove(p); };
    imgColor->MouseDown = [this](QPoint p) { imgColorMouseDown(p); };
    imgColor->MouseLeave = [this] { ApplicationIdle(); };
    imgColor->setAccessibleName("Colour spectrum");
    imgColor->setAccessibleDescription("Click a colour to make it the foreground colour");

    // Created in this order so that shpFore lies on top of shpBack.
    shpBack = new TSwatch(clBlack, this);
    shpBack->setObjectName("shpBack");
    shpBack->MouseDown = [this] { shpBackMouseDown(); };
    shpFore = new TSwatch(clWhite, this);
    shpFore->setObjectName("shpFore");
    shpFore->MouseDown = [this] { shpForeMouseDown(); };
    shpBack->setAccessibleName("Background colour");
    shpFore->setAccessibleName("Foreground colour");

    imgSwap = Named<TPanelImage>("imgSwap", this);
    imgSwap->SetImage(WhiteTransparent(QImage(":/SWAP")));
    imgSwap->MouseDown = [this](QPoint) { imgSwapMouseDown(); };
    imgSwap->setAccessibleName("Swap colours");
    imgSwap->setAccessibleDescription("Swaps the foreground and background colours");

    cbDiffuse = new QCheckBox("Diffuse", this);
    cbDiffuse->setObjectName("cbDiffuse");
    cbDiffuse->setChecked(true);
    cbDiffuse->setAccessibleDescription("Maps drawn from now on are rendered diffuse");

    imgGrid = Named<TPanelImage>("imgGrid", this);
    imgGrid->SetImage(LoadBitmap(":/PANEL"));
    imgGrid->setCursor(eyedropper);
    imgGrid->MouseMove = [this](QPoint p) { imgGridMouseMove(p); };
    imgGrid->MouseDown = [this](QPoint p) { imgGridMouseDown(p); };
    imgGrid->MouseLeave = [this] { ApplicationIdle(); };
    imgGrid->setAccessibleName("Colour grid");
    DescribeColorGrid();

    pnlDropColor = Named<QFrame>("pnlDropColor", this);
    pnlDropColor->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlDropColor->setAutoFillBackground(true);
    lblRed = Named<QLabel>("lblRed", this);
    lblGreen = Named<QLabel>("lblGreen", this);
    lblBlue = Named<QLabel>("lblBlue", this);
    SetProbeVisible(false);

    // Leave events do not come when the pointer leaves the window quickly or
    // a window covers the images, so the probe also checks by itself while it shows.
    idleTimer_.setInterval(ProbeInterval);
    connect(&idleTimer_, &QTimer::timeout, this, [this] { ApplicationIdle(); });

    ArrangeControls();
}

void TColorPanel::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) ArrangeControls();
}

void TColorPanel::ArrangeControls() {
    // "Diffuse" must show whole inside its frame (x 7 to 70), in a smaller size of the font if need be.
    auto captionWidth = [this](const QFont& f) {
        QStyleOptionButton option;
        option.initFrom(cbDiffuse);
        option.rect = QRect(0, 0, 64, 16);
        const int textLeft = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, cbDiffuse).left();
        return textLeft + QFontMetrics(f).horizontalAdvance(cbDiffuse->text()) + 2;
    };
    const QFont cbFont = Fitted(font(), [&](const QFont& f) { return captionWidth(f) <= 64; });
    cbDiffuse->setFont(cbFont);
    // The check box row grows where box or caption need more than its 16 pixels; the rows below move down.
    const int cbHeight = std::max({16, QFontMetrics(cbFont).height() + 2,
                                   style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, cbDiffuse) + 2});
    const int cbWidth = std::clamp(captionWidth(cbFont), 57, 64);
    const int cbLeft = std::clamp(71 - cbWidth, 7, 11);
    const int dy = cbHeight - 16;

    // The probe's values must fit beside its swatch, also in a smaller size of the font if need be.
    auto widest = [](const QFont& f) {
        const QFontMetrics fm(f);
        return std::max({fm.horizontalAdvance("R 255"), fm.horizontalAdvance("G 255"), fm.horizontalAdvance("B 255")});
    };
    const QFont probeFont = Fitted(font(), [&](const QFont& f) { return widest(f) <= 29; });
    const QFontMetrics fm(probeFont);
    const int labelHeight = std::max(13, fm.height());
    const int pitch = std::max(11, fm.height() - 2);
    const int labelWidth = std::max(26, widest(probeFont));
    const int probeTop = 320 + dy;
    const int probeHeight = std::max(38, 2 + 2 * pitch + labelHeight + 1);

    Bevel1->setGeometry(5, 6, 68, 112);
    imgColor->setGeometry(8, 9, 62, 106);
    Bevel2->setGeometry(5, 122, 68, 52);
    shpBack->setGeometry(30, 139, 32, 32);
    shpFore->setGeometry(16, 125, 32, 32);
    imgSwap->setGeometry(50, 125, 12, 12);
    Bevel5->setGeometry(5, 178, 68, 26 + dy);
    cbDiffuse->setGeometry(cbLeft, 183, cbWidth, cbHeight);
    Bevel3->setGeometry(5, 208 + dy, 68, 108);
    imgGrid->setGeometry(8, 211 + dy, 62, 102);
    Bevel4->setGeometry(5, probeTop, 68, probeHeight);
    pnlDropColor->setGeometry(8, probeTop + (probeHeight - 32) / 2, 32, 32);
    int row = 0;
    for (QLabel* l : {lblRed, lblGreen, lblBlue}) {
        l->setFont(probeFont);
        const int left = l == lblBlue ? 42 : 41;
        l->setGeometry(left, probeTop + 2 + row * pitch, std::min(labelWidth, 72 - left), labelHeight);
        ++row;
    }
}

bool TColorPanel::ProbeUpdate(const TPanelImage* image, QPoint p) {
    if (!image->Image().valid(p)) return false;  // a drag from the image may report points outside it
    if (pnlDropColor->isHidden()) SetProbeVisible(true);
    probeColor_ = FromRgb(image->Image().pixel(p));
    QPalette palette = pnlDropColor->palette();
    palette.setColor(QPalette::Window, ToQColor(probeColor_));
    pnlDropColor->setPalette(palette);
    lblRed->setText(QString("R %1").arg(RedOf(probeColor_)));
    lblGreen->setText(QString("G %1").arg(GreenOf(probeColor_)));
    lblBlue->setText(QString("B %1").arg(BlueOf(probeColor_)));
    return true;
}

void TColorPanel::SetProbeVisible(bool visible) {
    for (QWidget* w : std::initializer_list<QWidget*>{pnlDropColor, lblRed, lblGreen, lblBlue})
        w->setVisible(visible);
    if (visible)
        idleTimer_.start();
    else
        idleTimer_.stop();
}

void TColorPanel::ApplicationIdle() {
    if (pnlDropColor->isHidden()) return;
    const QPoint cursor = QCursor::pos();
    auto over = [&cursor](const QWidget* image) {
        return image->isVisible() && QRect(image->mapToGlobal(QPoint(0, 0)), image->size()).contains(cursor);
    };
    if (!over(imgColor) && !over(imgGrid)) SetProbeVisible(false);
}

void TColorPanel::imgColorMouseMove(QPoint p) { ProbeUpdate(imgColor, p); }

// A press also reports its position, so the colour taken is the one under the press.
void TColorPanel::imgColorMouseDown(QPoint p) {
    if (ProbeUpdate(imgColor, p)) SetForeColor(probeColor_);
}

void TColorPanel::imgGridMouseMove(QPoint p) {
    if (OnCellInside(p)) ProbeUpdate(imgGrid, p);
}

void TColorPanel::imgGridMouseDown(QPoint p) {
    if (OnCellInside(p) && ProbeUpdate(imgGrid, p)) SetForeColor(probeColor_);
}

void TColorPanel::shpForeMouseDown() {
    if (!ChooseColor) return;
    if (const std::optional<TColor> chosen = ChooseColor(ForeColor())) SetForeColor(*chosen);
}

void TColorPanel::shpBackMouseDown() {
    if (IsLocked() || !ChooseColor) return;
    if (const std::optional<TColor> chosen = ChooseColor(BackColor())) {
        SetBackColor(*chosen);
        if (BackgroundChanged) BackgroundChanged(*chosen);
    }
}

void TColorPanel::imgSwapMouseDown() {
    if (IsLocked()) return;
    const TColor fore = ForeColor();
    SetForeColor(BackColor());
    SetBackColor(fore);
    if (BackgroundChanged) BackgroundChanged(fore);
}

void TColorPanel::FillColorCell(int n) {
    if (n < 1 || n > GridCells) return;  // the 61st cell would lie below the bitmap
    const int left = (n - 1) % 6 * 10 + 3;
    const int top = (n - 1) / 6 * 10 + 3;
    imgGrid->FillRect(QRect(left, top, 6, 6), ForeColor());
    gridCells_.resize(std::max<std::size_t>(gridCells_.size(), static_cast<std::size_t>(n)), std::nullopt);
    gridCells_[static_cast<std::size_t>(n - 1)] = ForeColor();
    DescribeColorGrid();
}

void TColorPanel::ResetColorGrid() {
    imgGrid->SetImage(LoadBitmap(":/PANEL"));
    gridCells_.clear();
    DescribeColorGrid();
}

void TColorPanel::DescribeColorGrid() {
    // The cells in words, as the grid shows them: one per map of the drawing under way.
    QStringList cells;
    for (std::size_t i = 0; i < gridCells_.size(); ++i)
        if (gridCells_[i]) cells << QString("cell %1: %2").arg(i + 1).arg(ColorWords(*gridCells_[i]));
    imgGrid->setAccessibleDescription(cells.isEmpty() ? QString("The colours of the maps being drawn; none yet")
                                                      : "The colours of the maps being drawn: " + cells.join("; "));
}

}  // namespace fernweave
