#include "object_editor_dialog.h"
#include "qt_color.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "dialog_buttons.h"
#include "paced_display.h"

namespace fernweave {

namespace {

constexpr double MinZoom = 1.0 / 16;
constexpr double MaxZoom = 16;
// A change that has not shown a frame yet is replaced only after this long,
// so a fast drag on a slow machine still shows pictures.
constexpr int PatienceForFirstFrame = 100;
constexpr int PanelWidth = 360;
// Arrow keys with Shift move this many pixels.
constexpr int LongNudge = 10;


QRect BoundsOf(const TDrawing& o) {
    QRect r;
    auto add = [&](const TTriangle& t) {
        for (const TPoint& v : t) r = r.united(QRect(v.x, v.y, 1, 1));
    };
    add(o.Base);
    for (const TDrawnMap& m : o.Maps) add(m.Triangle);
    return r;
}

// The canvas, and the triangles too where they lie outside it.
QRect WorldFor(const TDrawing& o, int width, int height) {
    const QRect canvas(0, 0, std::max(width, 1), std::max(height, 1));
    const QRect bounds = BoundsOf(o);
    if (canvas.contains(bounds)) return canvas;
    return canvas.united(bounds.adjusted(-EditGridSpacing, -EditGridSpacing, EditGridSpacing, EditGridSpacing));
}

QString RenderBlockText(TRenderBlock block) {
    switch (block) {
        case TRenderBlock::None: return {};
        case TRenderBlock::NoMaps: return "Add a map to render the object.";
        case TRenderBlock::BaseUnsolvable: return "The base triangle cannot be solved.";
        case TRenderBlock::NoArea: return "No map has area: nothing would be drawn.";
        case TRenderBlock::NoChance: return "No map has a chance.";
    }
    return {};
}

// A control of the dialog with its name, its text and its tool tip, if any.
template <class W>
W* Control(const char* name, const QString& text = {}, const QString& tip = {}) {
    auto* w = Named<W>(name, text);
    if (!tip.isEmpty()) w->setToolTip(tip);
    return w;
}

// The panel's buttons leave Enter to Render.
QPushButton* Button(const char* name, const QString& text, const QString& tip = {}) {
    auto* b = Control<QPushButton>(name, text, tip);
    b->setAutoDefault(false);
    return b;
}

// The widgets side by side.
QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    for (QWidget* w : widgets) row->addWidget(w);
    return row;
}

QDoubleSpinBox* NumberBox(const char* name, int decimals, double limit, const QString& suffix = {}) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(name);
    box->setDecimals(decimals);
    box->setRange(-limit, limit);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);  // a value counts once it is committed
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setAlignment(Qt::AlignRight);
    // As narrow as the panel needs: the text scrolls within.
    box->setMinimumWidth(56);
    box->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return box;
}

}  // namespace

// --- the preview ---

TEditPreview::TEditPreview(TfrmEditObject& dialog) : dialog_(dialog) {
    setObjectName("imgPreview");
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TEditPoint TEditPreview::ToCanvas(QPointF p) const {
    return {(p.x() + 0.5) / Zoom + World.x() - 0.5, (p.y() + 0.5) / Zoom + World.y() - 0.5};
}

QPointF TEditPreview::ToScreen(double x, double y) const {
    return {(x + 0.5 - World.x()) * Zoom, (y + 0.5 - World.y()) * Zoom};
}

void TEditPreview::Relayout() {
    setFixedSize(std::max(1, static_cast<int>(std::ceil(World.width() * Zoom))),
                 std::max(1, static_cast<int>(std::ceil(World.height() * Zoom))));
    update();
}

void TEditPreview::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect exposed = event->rect();
    p.fillRect(exposed, QColor(64, 64, 64));
    if (!Frame.Empty() && Zoom == 1) {
        p.save();
        p.translate(-World.x(), -World.y());
        PaintPicture24(p, event->region().translated(World.topLeft()), Frame, scratch_);
        p.restore();
    } else if (!Frame.Empty()) {
        const QImage image(Frame.Data(), Frame.Width(), Frame.Height(), static_cast<qsizetype>(Frame.Stride()),
                           QImage::Format_BGR888);
        // Only the canvas pixels under the exposed part, each a Zoom-sized square.
        const int x0 = std::max(0, static_cast<int>(std::floor(exposed.left() / Zoom + World.x())));
        const int y0 = std::max(0, static_cast<int>(std::floor(exposed.top() / Zoom + World.y())));
        const int x1 = std::min(Frame.Width(), static_cast<int>(std::ceil((exposed.right() + 1) / Zoom + World.x())));
        const int y1 = std::min(Frame.Height(), static_cast<int>(std::ceil((exposed.bottom() + 1) / Zoom + World.y())));
        if (x1 > x0 && y1 > y0) {
            const QRectF source(x0, y0, x1 - x0, y1 - y0);
            const QRectF target((x0 - World.x()) * Zoom, (y0 - World.y()) * Zoom, (x1 - x0) * Zoom, (y1 - y0) * Zoom);
            p.drawImage(target, image, source);
        }
    }
    if (dialog_.Model().Snap) PaintGrid(p, exposed);
    if (boxing_) {
        p.setPen(QPen(QColor(255, 255, 255), 1, Qt::DashLine));
        p.setBrush(QColor(255, 255, 255, 32));
        p.drawRect(QRectF(boxFrom_, boxTo_).normalized());
    }
    if (ShowFixedPoints) PaintFixedPoints(p);
    if (!ShowTriangles) return;

    p.setRenderHint(QPainter::Antialiasing);
    const TObjectEditModel& model = dialog_.Model();
    const TObjectEditModel::Selection sel = model.Selected();
    const std::vector<int> several = model.SelectedTriangles();
    const bool warned = model.Warnings().Any();
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    auto drawTriangle = [&](int t, QColor color) {
        const TTriangle& tri = model.TriangleOf(t);
        QPointF pts[3];
        for (int i = 0; i < 3; ++i) pts[i] = ToScreen(tri[i].x, tri[i].y);
        const bool selected = sel.Triangle == t;
        const bool thick = selected || std::find(several.begin(), several.end(), t) != several.end();
        QPen pen(color, thick ? 2.0 : 1.0);
        if (t == 0 && warned) {
            pen.setColor(QColor(255, 64, 32));
            pen.setStyle(Qt::DashLine);
        }
        // A dark edge under the line, so a triangle shows over points of its own colour.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0, 0, 160), pen.widthF() + 2));
        p.drawPolygon(pts, 3);
        p.setPen(pen);
        p.drawPolygon(pts, 3);
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(selected && sel.Vertex == i ? QColor(255, 255, 0) : color);
            p.drawRect(QRectF(pts[i].x() - 3.5, pts[i].y() - 3.5, 7, 7));
        }
    };
    auto colorOf = [&](int t) { return t == 0 ? QColor(Qt::white) : ToQColor(model.Object().Maps[t - 1].Color); };
    // The selected triangle last, on top.
    for (int t = 0; t <= model.MapCount(); ++t)
        if (t != sel.Triangle) drawTriangle(t, colorOf(t));
    if (sel.Triangle >= 0) drawTriangle(sel.Triangle, colorOf(sel.Triangle));

    // The numbers say which base vertex each vertex stands for; where vertices
    // coincide they stand side by side ("1/2"), each in its triangle's colour.
    const QFontMetricsF metrics(font);
    auto label = [&](QPointF at, const QString& text, QColor color) {
        QPainterPath path;
        path.addText(at, font, text);
        p.setPen(QPen(Qt::black, 2.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.fillPath(path, color);
        return metrics.horizontalAdvance(text);
    };
    // Labels of vertices close together stack upwards instead of running into each other.
    std::vector<QRectF> placed;
    for (const auto& group : model.CoincidingVertices()) {
        const TPoint v = model.TriangleOf(group.front().Triangle)[static_cast<std::size_t>(group.front().Vertex)];
        QPointF at = ToScreen(v.x, v.y) + QPointF(5, -5);
        QString text;
        for (std::size_t i = 0; i < group.size(); ++i)
            text += (i > 0 ? "/" : "") + QString::number(group[i].Vertex + 1);
        QRectF box(at.x(), at.y() - metrics.ascent(), metrics.horizontalAdvance(text) + 2, metrics.height());
        for (int tries = 0; tries < 8 && std::any_of(placed.begin(), placed.end(), [&](const QRectF& r) { return r.intersects(box); });
             ++tries) {
            box.translate(0, -metrics.height());
            at.ry() -= metrics.height();
        }
        placed.push_back(box);
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (i > 0) at.rx() += label(at, "/", QColor(Qt::white));
            at.rx() += label(at, QString::number(group[i].Vertex + 1), colorOf(group[i].Triangle));
        }
    }
}

void TEditPreview::PaintFixedPoints(QPainter& p) {
    // A small cross in the map's colour where the map keeps a point.
    const TObjectEditModel& model = dialog_.Model();
    p.setRenderHint(QPainter::Antialiasing);
    for (int k = 1; k <= model.MapCount(); ++k) {
        const auto f = model.FixedPoint(k);
        if (!f || std::fabs(f->x) > DrawingCoordinateLimit || std::fabs(f->y) > DrawingCoordinateLimit) continue;
        const QPointF c = ToScreen(f->x, f->y);
        const TColor color = model.Object().Maps[static_cast<std::size_t>(k - 1)].Color;
        for (const QPen& pen : {QPen(Qt::black, 3.5), QPen(ToQColor(color), 1.5)}) {
            p.setPen(pen);
            p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
            p.drawLine(c + QPointF(-5, 5), c + QPointF(5, -5));
        }
    }
}

void TEditPreview::PaintGrid(QPainter& p, const QRect& exposed) {
    // The grid vertices snap to: every 24 canvas pixels through base vertex 1.
    const double step = EditGridSpacing * Zoom;
    if (step < 4) return;
    const TPoint origin = dialog_.Model().Object().Base[0];
    const QPointF o = ToScreen(origin.x, origin.y);
    p.setPen(QPen(QColor(128, 160, 255, 90), 1));
    const double firstX = o.x() + std::floor((exposed.left() - o.x()) / step) * step;
    for (double x = firstX; x <= exposed.right() + 1; x += step) p.drawLine(QPointF(x, exposed.top()), QPointF(x, exposed.bottom() + 1));
    const double firstY = o.y() + std::floor((exposed.top() - o.y()) / step) * step;
    for (double y = firstY; y <= exposed.bottom() + 1; y += step) p.drawLine(QPointF(exposed.left(), y), QPointF(exposed.right() + 1, y));
}

void TEditPreview::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        const bool shift = event->modifiers() & Qt::ShiftModifier;
        const TDragKind kind = ctrl ? TDragKind::Scale : shift ? TDragKind::Rotate : TDragKind::Move;
        selectedBefore_ = dialog_.Model().SelectedTriangles();
        primaryBefore_ = dialog_.Model().Selected().Triangle;
        const bool grabbed = dialog_.Model().BeginDrag(ToCanvas(event->position()), GrabDistance / Zoom, kind);
        ctrlPress_ = ctrl && grabbed;
        dialog_.ModelChanged();
        if (grabbed) return;
        if (ctrl) {
            boxing_ = true;
            boxFrom_ = boxTo_ = event->position();
            return;
        }
    }
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        panning_ = true;
        panFrom_ = event->globalPosition().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TEditPreview::mouseMoveEvent(QMouseEvent* event) {
    if (boxing_) {
        boxTo_ = event->position();
        update();
        return;
    }
    if (panning_) {
        const QPoint now = event->globalPosition().toPoint();
        const QPoint d = now - panFrom_;
        panFrom_ = now;
        dialog_.ScrollBox->horizontalScrollBar()->setValue(dialog_.ScrollBox->horizontalScrollBar()->value() - d.x());
        dialog_.ScrollBox->verticalScrollBar()->setValue(dialog_.ScrollBox->verticalScrollBar()->value() - d.y());
        return;
    }
    // Shift and Ctrl together: rotation and scaling in steps.
    const bool steps = (event->modifiers() & Qt::ShiftModifier) && (event->modifiers() & Qt::ControlModifier);
    if (dialog_.Model().Dragging()) dialog_.Edited(dialog_.Model().DragTo(ToCanvas(event->position()), steps));
}

void TEditPreview::mouseReleaseEvent(QMouseEvent* event) {
    TObjectEditModel& model = dialog_.Model();
    if (boxing_) {
        boxing_ = false;
        boxTo_ = event->position();
        model.SelectInBox(ToCanvas(boxFrom_), ToCanvas(boxTo_));
        dialog_.ModelChanged();
        return;
    }
    if (panning_) {
        panning_ = false;
        unsetCursor();
    }
    if (model.Dragging()) {
        if (ctrlPress_ && !model.PressMoved()) {
            // Ctrl+click: the triangle joins the selection, or leaves it.
            const int t = model.Selected().Triangle;
            model.EndDrag();
            model.SelectTriangles(selectedBefore_, primaryBefore_);
            model.ToggleInSelection(t);
        } else {
            model.EndPress();
        }
        dialog_.ModelChanged();
    }
    ctrlPress_ = false;
}

void TEditPreview::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();  // the scroll box scrolls
        return;
    }
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    dialog_.SetZoom(Zoom * std::pow(1.25, notches), mapTo(dialog_.ScrollBox->viewport(), event->position()));
    event->accept();
}

void TEditPreview::keyPressEvent(QKeyEvent* event) {
    // Also when the window's shortcuts do not see the keys.
    if (event->matches(QKeySequence::Copy)) {
        dialog_.CopyMaps();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        dialog_.PasteMaps();
        return;
    }
    const int step = (event->modifiers() & Qt::ShiftModifier) ? LongNudge : 1;
    int dx = 0, dy = 0;
    switch (event->key()) {
        case Qt::Key_Left: dx = -step; break;
        case Qt::Key_Right: dx = step; break;
        case Qt::Key_Up: dy = -step; break;
        case Qt::Key_Down: dy = step; break;
        case Qt::Key_Delete: dialog_.DeleteSelectedMap(); return;
        default: QWidget::keyPressEvent(event); return;
    }
    dialog_.Edited(dialog_.Model().Nudge(dx, dy));
}

// --- the dialog ---

TfrmEditObject::TfrmEditObject(const TIfsObject& object, std::shared_ptr<const Picture24> background, QWidget* parent,
                               TPreviewLimits limits, std::shared_ptr<const Picture24> canvas)
    : QDialog(parent),
      model_(object.MapCount > 0 ? TrianglesOfObject(object)
                                 : DefaultEditObject(background ? background->Width() : DefaultCanvasWidth,
                                                     background ? background->Height() : DefaultCanvasHeight)),
      background_(std::move(background)),
      canvas_(std::move(canvas)) {
    if (!background_) background_ = std::make_shared<const Picture24>(DefaultCanvasWidth, DefaultCanvasHeight, clBlack);
    setObjectName("frmEditObject");
    setWindowTitle("Edit Object");
    setSizeGripEnabled(true);

    imgPreview = new TEditPreview(*this);
    imgPreview->setAccessibleName("Object preview");
    imgPreview->setAccessibleDescription("The object's attractor drawn live over the canvas, with its triangles");
    imgPreview->Frame = *background_;
    content_ = WorldFor(model_.Object(), background_->Width(), background_->Height());
    imgPreview->World = content_;
    ScrollBox = new QScrollArea;
    ScrollBox->setObjectName("ScrollBox");
    ScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // canvas pixel (0, 0) at the preview's top left
    ScrollBox->setWidget(imgPreview);
    ScrollBox->viewport()->installEventFilter(this);
    ScrollBox->setBackgroundRole(QPalette::Dark);

    auto* panel = new QVBoxLayout;
    cbTriangles = Control<QCheckBox>("cbTriangles", "Show &triangles");
    cbTriangles->setChecked(true);
    cbFixedPoints =
        Control<QCheckBox>("cbFixedPoints", "Show fi&xed points", "A cross where each map keeps a point in place");
    cbBackgroundOnly = Control<QCheckBox>("cbBackgroundOnly", "Preview on the &background only",
                                        "The edited object alone on the picture it will be rendered on");
    cbBackgroundOnly->setChecked(true);
    cbBackgroundOnly->setEnabled(canvas_ && !(*canvas_ == *background_));
    cbSnap = Control<QCheckBox>("cbSnap", "&Snap to the grid",
                              "Vertices land on the 24-pixel grid through vertex 1 of the base triangle");
    cbSnapVertices = Control<QCheckBox>("cbSnapVertices", "Snap to &vertices",
                                      "A vertex within 6 pixels of another triangle's vertex lands on it");
    cbSnapVertices->setChecked(model_.SnapToVertices);
    panel->addLayout(Row({cbTriangles, cbFixedPoints}));
    panel->addWidget(cbBackgroundOnly);
    panel->addLayout(Row({cbSnap, cbSnapVertices}));
    lblZoom = Control<QLabel>("lblZoom");
    btnFit = Button("btnFit", "&Fit");
    btnActualSize = Button("btnActualSize", "100 %");
    auto* zoomRow = Row({new QLabel("Zoom:"), lblZoom, btnFit, btnActualSize});
    zoomRow->setStretchFactor(lblZoom, 1);
    panel->addLayout(zoomRow);

    lstMaps = new QTableWidget(0, 4);
    lstMaps->setObjectName("lstMaps");
    lstMaps->setHorizontalHeaderLabels({"Map", "Colour", "Diffuse", "Share"});
    lstMaps->verticalHeader()->hide();
    lstMaps->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstMaps->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstMaps->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::SelectedClicked);
    for (int column = 0; column < 3; ++column)
        lstMaps->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    lstMaps->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    lstMaps->setToolTip("Click a colour to change it; with custom chances, double-click a share to type it");
    lstMaps->setIconSize(QSize(28, 14));
    lstMaps->setMinimumHeight(110);
    lstMaps->installEventFilter(this);
    panel->addWidget(lstMaps, 1);
    btnAdd = Button("btnAdd", "&Add");
    btnDuplicate = Button("btnDuplicate", "D&uplicate");
    btnDelete = Button("btnDelete", "De&lete");
    panel->addLayout(Row({btnAdd, btnDuplicate, btnDelete}));
    btnCopy = Button("btnCopy", "&Copy", "Copy the selected maps (Ctrl+C)");
    btnPaste = Button("btnPaste", "&Paste", "Add copies of the maps copied last (Ctrl+V)");
    panel->addLayout(Row({btnCopy, btnPaste}));
    lblAddReason = Control<QLabel>("lblAddReason");
    panel->addWidget(lblAddReason);

    rbByArea = Control<QRadioButton>("rbByArea", "By &area",
                                   "Each map is chosen as often as its area's share, as drawn");
    rbCustom = Control<QRadioButton>("rbCustom", "Cu&stom",
                                   "Each map has a share of its own, kept through Render and Export");
    auto* chances = new QButtonGroup(this);
    chances->addButton(rbByArea);
    chances->addButton(rbCustom);
    auto* chancesRow = Row({new QLabel("Chances:"), rbByArea, rbCustom});
    chancesRow->setStretchFactor(rbCustom, 1);
    panel->addLayout(chancesRow);

    auto* numbers = new QGridLayout;
    lblVertex = Control<QLabel>("lblVertex");
    edtX = new QSpinBox;
    edtY = new QSpinBox;
    numbers->addWidget(lblVertex, 0, 0, 1, 4);
    for (int i = 0; i < 2; ++i) {
        QSpinBox* e = i == 0 ? edtX : edtY;
        e->setObjectName(i == 0 ? "edtX" : "edtY");
        e->setRange(-DrawingCoordinateLimit, DrawingCoordinateLimit);
        e->setKeyboardTracking(false);  // a value counts once it is committed
        e->installEventFilter(this);
        connect(e, &QSpinBox::valueChanged, this, [this] { CommitNumbers(); });
        auto* caption = new QLabel(i == 0 ? "&X:" : "&Y:");
        caption->setBuddy(e);
        numbers->addWidget(caption, 1, 2 * i);
        numbers->addWidget(e, 1, 2 * i + 1);
    }
    panel->addLayout(numbers);

    // The selected map by number, in both forms.
    grpNumbers = Control<QGroupBox>("grpNumbers", "Map by number");
    auto* numbersBox = new QVBoxLayout(grpNumbers);
    auto* coefficientGrid = new QGridLayout;
    auto* formGrid = new QGridLayout;
    auto* transformGrid = new QGridLayout;
    for (QGridLayout* g : {coefficientGrid, formGrid, transformGrid}) {
        g->setHorizontalSpacing(4);
        numbersBox->addLayout(g);
    }
    const char* coefficientNames[6] = {"edtA", "edtB", "edtC", "edtD", "edtE", "edtF"};
    const char* formNames[6] = {"edtScaleX", "edtScaleY", "edtRotation", "edtShear", "edtOffsetX", "edtOffsetY"};
    const char* formLabels[6] = {"Scale x", "Scale y", "Rotation", "Shear", "Offset x", "Offset y"};
    for (int i = 0; i < 6; ++i) {
        edtCoefficient[i] = NumberBox(coefficientNames[i], i % 3 == 2 ? 2 : 5, 1e7);
        edtCoefficient[i]->setToolTip(i < 3 ? "x' = A x + B y + C" : "y' = D x + E y + F");
        const bool angle = i == 2;
        edtForm[i] = NumberBox(formNames[i], i >= 4 || angle ? 2 : 5, angle ? 3600 : 1e7, angle ? "\u00b0" : "");
        auto* coefficientLabel = new QLabel(QString(QChar('A' + i)));
        coefficientLabel->setBuddy(edtCoefficient[i]);
        coefficientGrid->addWidget(coefficientLabel, i / 3, 2 * (i % 3));
        coefficientGrid->addWidget(edtCoefficient[i], i / 3, 2 * (i % 3) + 1);
        auto* formLabel = new QLabel(formLabels[i]);
        formLabel->setBuddy(edtForm[i]);
        formGrid->addWidget(formLabel, i / 2, 2 * (i % 2));
        formGrid->addWidget(edtForm[i], i / 2, 2 * (i % 2) + 1);
        for (QDoubleSpinBox* box : {edtCoefficient[i], edtForm[i]}) box->installEventFilter(this);
        connect(edtCoefficient[i], &QDoubleSpinBox::valueChanged, this, [this, i] { CommitMapNumber(i, false); });
        connect(edtForm[i], &QDoubleSpinBox::valueChanged, this, [this, i] { CommitMapNumber(i, true); });
    }
    for (int column : {1, 3, 5}) coefficientGrid->setColumnStretch(column, 1);
    for (int column : {1, 3}) formGrid->setColumnStretch(column, 1);
    btnRotateBy = Button("btnRotateBy", "Rotate by");
    edtRotateBy = NumberBox("edtRotateBy", 2, 360, "\u00b0");
    edtRotateBy->setValue(90);
    btnScaleBy = Button("btnScaleBy", "Scale by");
    edtScaleBy = NumberBox("edtScaleBy", 2, 10000, " %");
    edtScaleBy->setMinimum(1);
    edtScaleBy->setValue(50);
    btnFlipH = Button("btnFlipH", "Flip &horizontal");
    btnFlipV = Button("btnFlipV", "Flip v&ertical");
    cbAboutVertex1 = Control<QCheckBox>("cbAboutVertex1", "About vertex &1 (else the centre)");
    for (QDoubleSpinBox* box : {edtRotateBy, edtScaleBy}) box->installEventFilter(this);
    transformGrid->addWidget(btnRotateBy, 0, 0);
    transformGrid->addWidget(edtRotateBy, 0, 1);
    transformGrid->addWidget(btnScaleBy, 0, 2);
    transformGrid->addWidget(edtScaleBy, 0, 3);
    transformGrid->addWidget(btnFlipH, 1, 0, 1, 2);
    transformGrid->addWidget(btnFlipV, 1, 2, 1, 2);
    transformGrid->addWidget(cbAboutVertex1, 2, 0, 1, 4);
    panel->addWidget(grpNumbers);

    lblWarning = Control<QLabel>("lblWarning");
    lblWarning->setWordWrap(true);
    lblWarning->setStyleSheet("color: #c02000;");
    // Room for two lines at all times, so the panel does not jump.
    lblWarning->setMinimumHeight(2 * QFontMetrics(lblWarning->font()).lineSpacing() + 2);
    lblWarning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Below the scrolling part: always in sight.
    auto* bottom = new QVBoxLayout;
    bottom->addWidget(lblWarning);

    btnUndo = Button("btnUndo", "Und&o");
    btnRedo = Button("btnRedo", "Re&do");
    bottom->addLayout(Row({btnUndo, btnRedo}));

    auto* buttons = new QDialogButtonBox;
    btnRender = buttons->addButton("&Render", QDialogButtonBox::AcceptRole);
    btnRender->setObjectName("btnRender");
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName("btnCancel");
    btnRender->setDefault(true);
    lblRenderReason = Control<QLabel>("lblRenderReason");
    lblRenderReason->setWordWrap(true);
    bottom->addWidget(lblRenderReason);
    bottom->addWidget(buttons);

    auto* panelWidget = new QWidget;
    panelWidget->setLayout(panel);
    auto* panelBox = new QScrollArea;
    panelBox->setWidget(panelWidget);
    panelBox->setWidgetResizable(true);
    panelBox->setFrameShape(QFrame::NoFrame);
    panelBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* side = new QVBoxLayout;
    side->addWidget(panelBox, 1);
    side->addLayout(bottom);
    auto* sideWidget = new QWidget;
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(PanelWidth);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ScrollBox, 1);
    layout->addWidget(sideWidget);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cbTriangles, &QCheckBox::toggled, this, [this](bool on) {
        imgPreview->ShowTriangles = on;
        imgPreview->update();
    });
    connect(cbFixedPoints, &QCheckBox::toggled, this, [this](bool on) {
        imgPreview->ShowFixedPoints = on;
        imgPreview->update();
    });
    connect(btnCopy, &QPushButton::clicked, this, [this] { CopyMaps(); });
    connect(btnPaste, &QPushButton::clicked, this, [this] { PasteMaps(); });
    connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this, [this] { CopyMaps(); });
    connect(new QShortcut(QKeySequence::Paste, this), &QShortcut::activated, this, [this] { PasteMaps(); });
    connect(cbBackgroundOnly, &QCheckBox::toggled, this, [this] {
        backgroundChanged_ = true;
        RequestFrame();
    });
    connect(cbSnap, &QCheckBox::toggled, this, [this](bool on) {
        model_.Snap = on;
        imgPreview->update();
    });
    connect(cbSnapVertices, &QCheckBox::toggled, this, [this](bool on) { model_.SnapToVertices = on; });
    connect(btnFit, &QPushButton::clicked, this, [this] { FitToView(); });
    connect(btnActualSize, &QPushButton::clicked, this, [this] { SetZoom(1); });
    connect(btnAdd, &QPushButton::clicked, this, [this] {
        const int t = model_.Selected().Triangle;
        Edited(model_.AddMap(t >= 1 ? model_.Object().Maps[t - 1].Color : clWhite));
    });
    connect(btnDuplicate, &QPushButton::clicked, this, [this] { Edited(model_.DuplicateMap()); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { DeleteSelectedMap(); });
    connect(rbCustom, &QRadioButton::toggled, this, [this](bool custom) {
        if (!refreshing_) Edited(model_.SetCustomChances(custom));
    });
    connect(btnRotateBy, &QPushButton::clicked, this, [this] {
        edtRotateBy->interpretText();
        Edited(model_.RotateSelected(edtRotateBy->value(), cbAboutVertex1->isChecked()));
    });
    connect(btnScaleBy, &QPushButton::clicked, this, [this] {
        edtScaleBy->interpretText();
        Edited(model_.ScaleSelected(edtScaleBy->value(), cbAboutVertex1->isChecked()));
    });
    for (QPushButton* flip : {btnFlipH, btnFlipV})
        connect(flip, &QPushButton::clicked, this,
                [this, flip] { Edited(model_.FlipSelected(flip == btnFlipH, cbAboutVertex1->isChecked())); });
    connect(btnUndo, &QPushButton::clicked, this, [this] { UndoEdit(); });
    connect(btnRedo, &QPushButton::clicked, this, [this] { RedoEdit(); });
    connect(new QShortcut(QKeySequence("Ctrl+Z"), this), &QShortcut::activated, this, [this] { UndoEdit(); });
    for (const QKeySequence& keys : {QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { RedoEdit(); });
    connect(lstMaps, &QTableWidget::itemSelectionChanged, this, [this] {
        if (refreshing_) return;
        const auto rows = lstMaps->selectionModel()->selectedRows();
        if (rows.isEmpty()) return;
        if (rows.size() == 1) {
            const int t = rows.front().row() + 1;
            if (model_.Selected().Triangle == t && model_.SelectedTriangles().size() == 1) return;
            model_.Select({t, -1});
        } else {
            std::vector<int> maps;
            for (const QModelIndex& row : rows) maps.push_back(row.row() + 1);
            model_.SelectTriangles(maps, lstMaps->currentRow() + 1);
        }
        ModelChanged();
    });
    connect(lstMaps, &QTableWidget::cellClicked, this, [this](int row, int column) { ListCellClicked(row, column); });
    connect(lstMaps, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { ListItemChanged(item); });

    // The window's paced display: the preview's thread only marks it dirty.
    frameClock_ = new TFrameClock(imgPreview);
    frameClock_->BeforeFrame = [this] { FrameTick(); };
    preview_ = std::make_unique<TPreviewRenderer>([clock = frameClock_] { clock->MarkDirty(); }, limits);

    // At 100 % when the canvas fits on the screen and the triangles lie on it.
    QRect screen(0, 0, 1280, 1024);
    if (const QScreen* s = QGuiApplication::primaryScreen()) screen = s->availableGeometry();
    const QRect world = content_;
    const bool fits = world == QRect(0, 0, background_->Width(), background_->Height()) &&
                      world.width() + PanelWidth + 60 <= screen.width() && world.height() + 60 <= screen.height();
    openedFitted_ = !fits;
    imgPreview->Zoom = 1;
    imgPreview->Relayout();
    // The view has room around the canvas, so its scroll bars always show.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize want(std::min(world.width() + 4 + bar, screen.width() - PanelWidth - 60),
                     std::min(std::max(world.height() + 4 + bar, 700), screen.height() - 60));
    ScrollBox->setMinimumSize(std::min(want.width(), 320), std::min(want.height(), 240));
    resize(want.width() + PanelWidth + 30, want.height() + 24);
    ModelChanged();
}

void TfrmEditObject::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (openedFitted_) {
        openedFitted_ = false;
        FitToView();
    } else {
        SetZoom(imgPreview->Zoom);
        ScrollTo(imgPreview->ToScreen(content_.x() - 0.5, content_.y() - 0.5));
    }
    imgPreview->setFocus();
}

bool TfrmEditObject::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ScrollBox->viewport() && event->type() == QEvent::Resize) {
        UpdateWorld();  // room around the content as the view grows
        return false;
    }
    if (watched == lstMaps && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        DeleteSelectedMap();
        return true;
    }
    auto* box = qobject_cast<QAbstractSpinBox*>(watched);
    if (box && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        const QKeyCombination combo = static_cast<QKeyEvent*>(event)->keyCombination();
        const bool escape = combo == QKeyCombination(Qt::NoModifier, Qt::Key_Escape);
        const bool undo = combo == QKeyCombination(Qt::ControlModifier, Qt::Key_Z);
        const bool redo = combo == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
                          combo == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
        const bool enter = combo.key() == Qt::Key_Return || combo.key() == Qt::Key_Enter;
        if (!(escape || undo || redo || enter)) return QDialog::eventFilter(watched, event);
        // Esc takes back what was typed in this box only and the dialog stays; the undo is the
        // dialog's, not the box's; Enter commits and keeps the dialog open.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (escape) {
            if (auto* whole = qobject_cast<QSpinBox*>(box)) whole->setValue(whole->value());
            if (auto* real = qobject_cast<QDoubleSpinBox*>(box)) real->setValue(real->value());
            refreshing_ = true;
            RefreshNumbers();
            RefreshMapNumbers();
            refreshing_ = false;
            box->selectAll();
        } else if (enter) {
            box->interpretText();
            if (box == edtX || box == edtY) CommitNumbers();
            if (box == edtRotateBy) btnRotateBy->click();
            if (box == edtScaleBy) btnScaleBy->click();
        } else if (undo) {
            UndoEdit();
        } else {
            RedoEdit();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmEditObject::ModelChanged() {
    refreshing_ = true;
    RefreshList();
    RefreshNumbers();
    RefreshMapNumbers();
    rbByArea->setChecked(!model_.CustomChances());
    rbCustom->setChecked(model_.CustomChances());
    refreshing_ = false;
    const TBaseWarnings w = model_.Warnings();
    QString warning;
    if (w.ColumnZero)
        warning = "Vertex 1 or 2 of the base triangle lies in column 0: the maps cannot follow the triangles there.";
    else if (w.NoArea)
        warning = "The base triangle has no area: the maps cannot follow the triangles.";
    lblWarning->setText(warning);
    const int t = model_.Selected().Triangle;
    const bool full = model_.MapCount() >= MaxMaps;
    btnAdd->setEnabled(!full);
    lblAddReason->setText(full ? QString("An object has at most %1 maps.").arg(MaxMaps) : QString());
    lblAddReason->setVisible(full);
    std::vector<int> maps = model_.SelectedTriangles();
    std::erase(maps, 0);
    btnDuplicate->setEnabled(t >= 1 && !full);
    btnDelete->setEnabled(!maps.empty());
    btnCopy->setEnabled(!maps.empty());
    btnPaste->setEnabled(!copied_.empty() && !full);
    btnUndo->setEnabled(model_.CanUndo());
    btnRedo->setEnabled(model_.CanRedo());
    const QString reason = RenderBlockText(model_.RenderBlock());
    btnRender->setEnabled(reason.isEmpty());
    btnRender->setToolTip(reason);
    lblRenderReason->setText(reason);
    lblRenderReason->setVisible(!reason.isEmpty());
    for (QPushButton* b : {btnRotateBy, btnScaleBy, btnFlipH, btnFlipV}) b->setEnabled(t >= 0);
    UpdateWorld();
    imgPreview->update();
    RequestFrame();
}

void TfrmEditObject::UpdateWorld() {
    QRect content = WorldFor(model_.Object(), background_->Width(), background_->Height());
    // While dragging, the view only grows, so the ground under the pointer stays put.
    if (model_.Dragging()) content = content.united(content_);
    content_ = content;
    const QRect world = Padded(content);
    const QRect old = imgPreview->World;
    if (world == old) return;
    QScrollBar* h = ScrollBox->horizontalScrollBar();
    QScrollBar* v = ScrollBox->verticalScrollBar();
    const double zoom = imgPreview->Zoom;
    const int x = h->value() + static_cast<int>(std::lround((old.x() - world.x()) * zoom));
    const int y = v->value() + static_cast<int>(std::lround((old.y() - world.y()) * zoom));
    imgPreview->World = world;
    imgPreview->Relayout();
    h->setValue(x);
    v->setValue(y);
}

std::shared_ptr<const Picture24> TfrmEditObject::PreviewBackground() const {
    return cbBackgroundOnly->isChecked() || !canvas_ ? background_ : canvas_;
}

void TfrmEditObject::CopyMaps() {
    std::vector<TDrawnMap> maps = model_.CopyMaps();
    if (maps.empty()) return;
    copied_ = std::move(maps);
    ModelChanged();
}

void TfrmEditObject::reject() {
    if (model_.Modified() && ConfirmDiscard && !ConfirmDiscard()) return;
    QDialog::reject();
}

void TfrmEditObject::RefreshList() {
    const int n = model_.MapCount();
    lstMaps->setRowCount(n);
    const std::vector<double> shares = model_.Shares();
    for (int row = 0; row < n; ++row) {
        const TDrawnMap& m = model_.Object().Maps[static_cast<std::size_t>(row)];
        auto cell = [&](int column) {
            QTableWidgetItem* item = lstMaps->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | (column == 2 ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
                lstMaps->setItem(row, column, item);
            }
            return item;
        };
        cell(0)->setText(QString::number(row + 1));
        // A framed swatch, visible also on a selected row and for white.
        QPixmap swatch(28, 14);
        swatch.fill(ToQColor(m.Color));
        QPainter(&swatch).drawRect(0, 0, 27, 13);  // the default pen: black, one pixel
        cell(1)->setIcon(QIcon(swatch));
        cell(1)->setToolTip(ToQColor(m.Color).name());
        cell(2)->setCheckState(m.Diffuse ? Qt::Checked : Qt::Unchecked);
        // A map without area is never chosen by area: it draws nothing.
        const bool flat = !model_.CustomChances() && !model_.HasArea(row + 1);
        QTableWidgetItem* share = cell(3);
        share->setText(flat ? QString("no area: draws nothing")
                            : QString::asprintf("%.1f %%", shares[static_cast<std::size_t>(row)]));
        share->setForeground(flat ? QBrush(QColor(192, 32, 0)) : QBrush());
        share->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        share->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | (model_.CustomChances() ? Qt::ItemIsEditable : Qt::NoItemFlags));
    }
    QItemSelection rows;
    for (int t : model_.SelectedTriangles())
        if (t >= 1) rows.select(lstMaps->model()->index(t - 1, 0), lstMaps->model()->index(t - 1, 3));
    lstMaps->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    const int t = model_.Selected().Triangle;
    if (t >= 1) lstMaps->selectionModel()->setCurrentIndex(lstMaps->model()->index(t - 1, 0), QItemSelectionModel::NoUpdate);
}

void TfrmEditObject::RefreshNumbers() {
    const auto v = model_.SelectedVertex();
    edtX->setEnabled(v.has_value());
    edtY->setEnabled(v.has_value());
    const TObjectEditModel::Selection s = model_.Selected();
    const QSignalBlocker bx(edtX), by(edtY);
    if (v) {
        edtX->setValue(v->x);
        edtY->setValue(v->y);
        lblVertex->setText(s.Triangle == 0 ? QString("Vertex %1 of the base triangle").arg(s.Vertex + 1)
                                           : QString("Vertex %1 of map %2").arg(s.Vertex + 1).arg(s.Triangle));
    } else {
        // No stale numbers: the boxes are blank without a vertex.
        edtX->clear();
        edtY->clear();
        const std::size_t several = model_.SelectedTriangles().size();
        lblVertex->setText(s.Triangle < 0 ? QString("Select a vertex to place it exactly")
                           : several > 1  ? QString("%1 triangles selected").arg(several)
                           : (s.Triangle == 0 ? QString("The base triangle") : QString("Map %1").arg(s.Triangle)));
    }
}

void TfrmEditObject::RefreshMapNumbers() {
    const int k = model_.Selected().Triangle;
    const auto m = model_.Coefficients(k);
    grpNumbers->setTitle(m ? QString("Map %1 by number").arg(k) : QString("Map by number"));
    const TMapForm f = m ? FormOfMap(*m) : TMapForm{};
    const double form[6] = {f.ScaleX, f.ScaleY, f.Rotation, f.Shear, f.OffsetX, f.OffsetY};
    for (int i = 0; i < 6; ++i)
        for (QDoubleSpinBox* box : {edtCoefficient[i], edtForm[i]}) {
            const QSignalBlocker block(box);
            box->setEnabled(m.has_value());
            if (m)
                box->setValue(box == edtForm[i] ? form[i] : (*m)[static_cast<std::size_t>(i)]);
            else
                box->clear();
        }
}

void TfrmEditObject::CommitMapNumber(int i, bool form) {
    const int k = model_.Selected().Triangle;
    auto m = model_.Coefficients(k);
    if (refreshing_ || !m) return;
    if (form) {
        TMapForm f = FormOfMap(*m);
        double* fields[6] = {&f.ScaleX, &f.ScaleY, &f.Rotation, &f.Shear, &f.OffsetX, &f.OffsetY};
        *fields[i] = edtForm[i]->value();
        model_.SetForm(k, f);
    } else {
        // Only the number typed changes; the others keep every digit.
        (*m)[static_cast<std::size_t>(i)] = edtCoefficient[i]->value();
        model_.SetCoefficients(k, *m);
    }
    ModelChanged();
}

void TfrmEditObject::ListItemChanged(QTableWidgetItem* item) {
    if (refreshing_) return;
    if (item->column() == 2) {
        Edited(model_.SetMapDiffuse(item->row() + 1, item->checkState() == Qt::Checked));
    } else if (item->column() == 3) {
        QString text = item->text();
        text.remove('%');
        bool ok = false;
        const double percent = text.trimmed().toDouble(&ok);
        if (!ok || !model_.SetShare(item->row() + 1, percent)) {
            refreshing_ = true;
            RefreshList();
            refreshing_ = false;
            return;
        }
        ModelChanged();
    }
}

void TfrmEditObject::CommitNumbers() {
    if (refreshing_ || !model_.SelectedVertex()) return;
    Edited(model_.SetSelectedVertex({edtX->value(), edtY->value()}));
}

void TfrmEditObject::ListCellClicked(int row, int column) {
    if (column != 1 || !ChooseColor || row >= model_.MapCount()) return;
    if (const auto chosen = ChooseColor(model_.Object().Maps[static_cast<std::size_t>(row)].Color))
        Edited(model_.SetMapColor(row + 1, *chosen));
}

void TfrmEditObject::SetZoom(double zoom, QPointF anchor) {
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    if (std::fabs(zoom - 1) < 0.05) zoom = 1;
    const QSize port = ScrollBox->viewport()->size();
    if (anchor.x() < 0) anchor = QPointF(port.width() / 2.0, port.height() / 2.0);
    // The canvas point under the anchor stays under it: both in continuous
    // coordinates, where pixel p's centre is p + 0.5. The origin is the preview's corner in the viewport.
    const QPointF origin(-ScrollBox->horizontalScrollBar()->value(), -ScrollBox->verticalScrollBar()->value());
    const QPointF before = anchor - origin;
    const TEditPoint at = imgPreview->ToCanvas(before);
    imgPreview->Zoom = zoom;
    imgPreview->World = Padded(content_);
    imgPreview->Relayout();
    const QPointF after = imgPreview->ToScreen(at.x, at.y) - QPointF(0.5, 0.5);
    ScrollTo(after - anchor);
    lblZoom->setText(QString("%1 %").arg(std::lround(zoom * 100)));
}

void TfrmEditObject::FitToView() {
    content_ = WorldFor(model_.Object(), background_->Width(), background_->Height());
    const QSize port = ScrollBox->maximumViewportSize();
    const double zoom = std::min(double(port.width() - 2) / content_.width(), double(port.height() - 2) / content_.height());
    SetZoom(zoom);
    // The content in the middle of the view.
    const QPointF centre = imgPreview->ToScreen(content_.x() + content_.width() / 2.0 - 0.5,
                                                content_.y() + content_.height() / 2.0 - 0.5);
    const QSize shown = ScrollBox->viewport()->size();
    ScrollTo(centre - QPointF(shown.width() / 2.0, shown.height() / 2.0));
}

QRect TfrmEditObject::Padded(const QRect& content) const {
    const QSize port = ScrollBox->maximumViewportSize();
    const int padX = static_cast<int>(std::ceil(port.width() / imgPreview->Zoom));
    const int padY = static_cast<int>(std::ceil(port.height() / imgPreview->Zoom));
    return content.adjusted(-padX, -padY, padX, padY);
}

void TfrmEditObject::ScrollTo(QPointF corner) {
    ScrollBox->horizontalScrollBar()->setValue(static_cast<int>(std::lround(corner.x())));
    ScrollBox->verticalScrollBar()->setValue(static_cast<int>(std::lround(corner.y())));
}

void TfrmEditObject::RequestFrame() { frameClock_->MarkDirty(); }

void TfrmEditObject::FrameTick() {
    if (model_.Revision() != submittedRevision_ || backgroundChanged_) {
        const bool mayReplace = submittedChange_ == 0 || shownChange_ >= submittedChange_ ||
                                sinceSubmit_.elapsed() >= PatienceForFirstFrame;
        if (mayReplace) {
            submittedChange_ = preview_->Submit(model_.Object(), PreviewBackground());
            submittedRevision_ = model_.Revision();
            backgroundChanged_ = false;
            sinceSubmit_.restart();
        } else {
            RequestFrame();
        }
    }
    TPreviewFrameInfo info;
    if (preview_->TakeFrame(imgPreview->Frame, frameSerial_, &info)) shownChange_ = info.Change;
}

}  // namespace fernweave
