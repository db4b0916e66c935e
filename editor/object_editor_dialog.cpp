#include "object_editor_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "paced_display.h"

namespace fernweave {

namespace {

constexpr double MinZoom = 1.0 / 16;
constexpr double MaxZoom = 16;
// A change that has not shown a frame yet is replaced only after this long,
// so a fast drag on a slow machine still shows pictures.
constexpr int PatienceForFirstFrame = 100;
constexpr int PanelWidth = 300;

QColor ColorOf(TColor c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

QRect BoundsOf(const TEditObject& o) {
    QRect r;
    auto add = [&](const TTriangle& t) {
        for (const TPoint& v : t) r = r.united(QRect(v.x, v.y, 1, 1));
    };
    add(o.Base);
    for (const TEditMap& m : o.Maps) add(m.Triangle);
    return r;
}

// The canvas, and the triangles too where they lie outside it.
QRect WorldFor(const TEditObject& o, int width, int height) {
    const QRect canvas(0, 0, std::max(width, 1), std::max(height, 1));
    const QRect bounds = BoundsOf(o);
    if (canvas.contains(bounds)) return canvas;
    return canvas.united(bounds.adjusted(-EditGridSpacing, -EditGridSpacing, EditGridSpacing, EditGridSpacing));
}

}  // namespace

// --- the preview ---

TEditPreview::TEditPreview(TfrmEditObject& dialog) : dialog_(dialog) {
    setObjectName("imgPreview");
    setMouseTracking(false);
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
    if (!Frame.Empty() && Zoom == 1 && World.topLeft() == QPoint(0, 0)) {
        PaintPicture24(p, event->region(), Frame, scratch_);
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
    if (!ShowTriangles) return;

    p.setRenderHint(QPainter::Antialiasing);
    const TObjectEditModel& model = dialog_.Model();
    const TObjectEditModel::Selection sel = model.Selected();
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
        QPen pen(color, selected ? 2.0 : 1.0);
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
            const bool vertexSelected = selected && sel.Vertex == i;
            const QRectF mark(pts[i].x() - 3.5, pts[i].y() - 3.5, 7, 7);
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(vertexSelected ? QColor(255, 255, 0) : color);
            p.drawRect(mark);
            // The numbers say which base vertex each vertex stands for.
            const QPointF at = pts[i] + QPointF(5, -5);
            QPainterPath text;
            text.addText(at, font, QString::number(i + 1));
            p.setPen(QPen(Qt::black, 2.5));
            p.setBrush(Qt::NoBrush);
            p.drawPath(text);
            p.fillPath(text, color);
        }
    };
    // The selected triangle last, on top.
    for (int t = 0; t <= model.MapCount(); ++t)
        if (t != sel.Triangle) drawTriangle(t, t == 0 ? QColor(Qt::white) : ColorOf(model.Object().Maps[t - 1].Color));
    if (sel.Triangle >= 0)
        drawTriangle(sel.Triangle,
                     sel.Triangle == 0 ? QColor(Qt::white) : ColorOf(model.Object().Maps[sel.Triangle - 1].Color));
}

void TEditPreview::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        TDragKind kind = TDragKind::Move;
        if (event->modifiers() & Qt::ShiftModifier) kind = TDragKind::Rotate;
        if (event->modifiers() & Qt::ControlModifier) kind = TDragKind::Scale;
        const bool grabbed = dialog_.Model().BeginDrag(ToCanvas(event->position()), GrabDistance / Zoom, kind);
        dialog_.ModelChanged();
        if (grabbed) return;
    }
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        panning_ = true;
        panFrom_ = event->globalPosition().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TEditPreview::mouseMoveEvent(QMouseEvent* event) {
    if (panning_) {
        const QPoint now = event->globalPosition().toPoint();
        const QPoint d = now - panFrom_;
        panFrom_ = now;
        dialog_.ScrollBox->horizontalScrollBar()->setValue(dialog_.ScrollBox->horizontalScrollBar()->value() - d.x());
        dialog_.ScrollBox->verticalScrollBar()->setValue(dialog_.ScrollBox->verticalScrollBar()->value() - d.y());
        return;
    }
    if (dialog_.Model().Dragging() && dialog_.Model().DragTo(ToCanvas(event->position()))) dialog_.ModelChanged();
}

void TEditPreview::mouseReleaseEvent(QMouseEvent*) {
    if (panning_) {
        panning_ = false;
        unsetCursor();
    }
    if (dialog_.Model().Dragging()) {
        dialog_.Model().EndDrag();
        dialog_.ModelChanged();
    }
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
    int dx = 0, dy = 0;
    switch (event->key()) {
        case Qt::Key_Left: dx = -1; break;
        case Qt::Key_Right: dx = 1; break;
        case Qt::Key_Up: dy = -1; break;
        case Qt::Key_Down: dy = 1; break;
        default: QWidget::keyPressEvent(event); return;
    }
    if (dialog_.Model().Nudge(dx, dy)) dialog_.ModelChanged();
}

// --- the dialog ---

TfrmEditObject::TfrmEditObject(const TIfsObject& object, std::shared_ptr<const Picture24> background, QWidget* parent,
                               TPreviewLimits limits)
    : QDialog(parent),
      model_(object.MapCount > 0 ? TrianglesOfObject(object)
                                 : DefaultEditObject(background ? background->Width() : 550,
                                                     background ? background->Height() : 364)),
      background_(std::move(background)) {
    if (!background_) background_ = std::make_shared<const Picture24>(550, 364, clBlack);
    setObjectName("frmEditObject");
    setWindowTitle("Edit Object");
    setSizeGripEnabled(true);

    imgPreview = new TEditPreview(*this);
    imgPreview->setAccessibleName("Object preview");
    imgPreview->setAccessibleDescription("The object's attractor drawn live over the canvas, with its triangles");
    imgPreview->Frame = *background_;
    imgPreview->World = WorldFor(model_.Object(), background_->Width(), background_->Height());
    ScrollBox = new QScrollArea;
    ScrollBox->setObjectName("ScrollBox");
    ScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // canvas pixel (0, 0) at the preview's top left
    ScrollBox->setWidgetResizable(false);
    ScrollBox->setWidget(imgPreview);
    ScrollBox->setBackgroundRole(QPalette::Dark);

    auto* panel = new QVBoxLayout;
    cbTriangles = new QCheckBox("Show &triangles");
    cbTriangles->setObjectName("cbTriangles");
    cbTriangles->setChecked(true);
    cbSnap = new QCheckBox("&Snap to the grid");
    cbSnap->setObjectName("cbSnap");
    cbSnap->setToolTip("Vertices land on the 24-pixel grid through vertex 1 of the base triangle");
    panel->addWidget(cbTriangles);
    panel->addWidget(cbSnap);
    auto* zoomRow = new QHBoxLayout;
    lblZoom = new QLabel;
    lblZoom->setObjectName("lblZoom");
    btnFit = new QPushButton("&Fit");
    btnFit->setObjectName("btnFit");
    btnActualSize = new QPushButton("100 %");
    btnActualSize->setObjectName("btnActualSize");
    for (QPushButton* b : {btnFit, btnActualSize}) b->setAutoDefault(false);
    zoomRow->addWidget(new QLabel("Zoom:"));
    zoomRow->addWidget(lblZoom, 1);
    zoomRow->addWidget(btnFit);
    zoomRow->addWidget(btnActualSize);
    panel->addLayout(zoomRow);

    lstMaps = new QTableWidget(0, 4);
    lstMaps->setObjectName("lstMaps");
    lstMaps->setHorizontalHeaderLabels({"Map", "Colour", "Diffuse", "Share"});
    lstMaps->verticalHeader()->hide();
    lstMaps->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstMaps->setSelectionMode(QAbstractItemView::SingleSelection);
    lstMaps->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstMaps->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    lstMaps->setToolTip("Click a colour to change it");
    lstMaps->setIconSize(QSize(28, 14));
    panel->addWidget(lstMaps, 1);
    auto* listButtons = new QHBoxLayout;
    btnAdd = new QPushButton("&Add");
    btnAdd->setObjectName("btnAdd");
    btnDuplicate = new QPushButton("D&uplicate");
    btnDuplicate->setObjectName("btnDuplicate");
    btnDelete = new QPushButton("De&lete");
    btnDelete->setObjectName("btnDelete");
    for (QPushButton* b : {btnAdd, btnDuplicate, btnDelete}) {
        b->setAutoDefault(false);
        listButtons->addWidget(b);
    }
    panel->addLayout(listButtons);

    auto* numbers = new QGridLayout;
    lblVertex = new QLabel;
    lblVertex->setObjectName("lblVertex");
    edtX = new QSpinBox;
    edtX->setObjectName("edtX");
    edtY = new QSpinBox;
    edtY->setObjectName("edtY");
    for (QSpinBox* e : {edtX, edtY}) {
        e->setRange(-EditCoordinateLimit, EditCoordinateLimit);
        e->setKeyboardTracking(false);  // a value counts once it is committed
        e->installEventFilter(this);
        connect(e, &QSpinBox::valueChanged, this, [this] { CommitNumbers(); });
    }
    numbers->addWidget(lblVertex, 0, 0, 1, 4);
    numbers->addWidget(new QLabel("&X:"), 1, 0);
    numbers->addWidget(edtX, 1, 1);
    numbers->addWidget(new QLabel("&Y:"), 1, 2);
    numbers->addWidget(edtY, 1, 3);
    static_cast<QLabel*>(numbers->itemAtPosition(1, 0)->widget())->setBuddy(edtX);
    static_cast<QLabel*>(numbers->itemAtPosition(1, 2)->widget())->setBuddy(edtY);
    panel->addLayout(numbers);

    lblWarning = new QLabel;
    lblWarning->setObjectName("lblWarning");
    lblWarning->setWordWrap(true);
    lblWarning->setStyleSheet("color: #c02000;");
    lblChances = new QLabel("The chances of the maps follow their areas once edited.");
    lblChances->setObjectName("lblChances");
    lblChances->setWordWrap(true);
    lblChances->setVisible(object.MapCount > 0 && StoredChancesDiffer(object, model_.Object()));
    panel->addWidget(lblWarning);
    panel->addWidget(lblChances);

    auto* undoRow = new QHBoxLayout;
    btnUndo = new QPushButton("Und&o");
    btnUndo->setObjectName("btnUndo");
    btnRedo = new QPushButton("Re&do");
    btnRedo->setObjectName("btnRedo");
    for (QPushButton* b : {btnUndo, btnRedo}) {
        b->setAutoDefault(false);
        undoRow->addWidget(b);
    }
    panel->addLayout(undoRow);

    auto* buttons = new QDialogButtonBox;
    btnRender = buttons->addButton("&Render", QDialogButtonBox::AcceptRole);
    btnRender->setObjectName("btnRender");
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName("btnCancel");
    btnRender->setDefault(true);
    panel->addWidget(buttons);

    auto* panelWidget = new QWidget;
    panelWidget->setLayout(panel);
    panelWidget->setFixedWidth(PanelWidth);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ScrollBox, 1);
    layout->addWidget(panelWidget);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cbTriangles, &QCheckBox::toggled, this, [this](bool on) {
        imgPreview->ShowTriangles = on;
        imgPreview->update();
    });
    connect(cbSnap, &QCheckBox::toggled, this, [this](bool on) { model_.Snap = on; });
    connect(btnFit, &QPushButton::clicked, this, [this] { FitToView(); });
    connect(btnActualSize, &QPushButton::clicked, this, [this] { SetZoom(1); });
    connect(btnAdd, &QPushButton::clicked, this, [this] {
        const int t = model_.Selected().Triangle;
        if (model_.AddMap(t >= 1 ? model_.Object().Maps[t - 1].Color : clWhite)) ModelChanged();
    });
    connect(btnDuplicate, &QPushButton::clicked, this, [this] {
        if (model_.DuplicateMap()) ModelChanged();
    });
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        if (model_.DeleteMap()) ModelChanged();
    });
    connect(btnUndo, &QPushButton::clicked, this, [this] { UndoEdit(); });
    connect(btnRedo, &QPushButton::clicked, this, [this] { RedoEdit(); });
    for (const QKeySequence& keys : {QKeySequence("Ctrl+Z")}) connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { UndoEdit(); });
    for (const QKeySequence& keys : {QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { RedoEdit(); });
    connect(lstMaps, &QTableWidget::itemSelectionChanged, this, [this] {
        if (refreshing_) return;
        const auto rows = lstMaps->selectionModel()->selectedRows();
        if (rows.isEmpty()) return;
        const int t = rows.front().row() + 1;
        if (model_.Selected().Triangle == t) return;
        model_.Select({t, -1});
        ModelChanged();
    });
    connect(lstMaps, &QTableWidget::cellClicked, this, [this](int row, int column) { ListCellClicked(row, column); });
    connect(lstMaps, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (refreshing_ || item->column() != 2) return;
        if (model_.SetMapDiffuse(item->row() + 1, item->checkState() == Qt::Checked)) ModelChanged();
    });

    // The window's paced display: the preview's thread only marks it dirty.
    frameClock_ = new TFrameClock(imgPreview);
    frameClock_->BeforeFrame = [this] { FrameTick(); };
    preview_ = std::make_unique<TPreviewRenderer>([clock = frameClock_] { clock->MarkDirty(); }, limits);

    // At 100 % when the canvas fits on the screen and the triangles lie on it.
    QRect screen(0, 0, 1280, 1024);
    if (const QScreen* s = QGuiApplication::primaryScreen()) screen = s->availableGeometry();
    const QRect world = imgPreview->World;
    const bool fits = world == QRect(0, 0, background_->Width(), background_->Height()) &&
                      world.width() + PanelWidth + 60 <= screen.width() && world.height() + 60 <= screen.height();
    openedFitted_ = !fits;
    imgPreview->Zoom = 1;
    imgPreview->Relayout();
    const QSize want(std::min(world.width() + 4, screen.width() - PanelWidth - 60),
                     std::min(std::max(world.height() + 4, 480), screen.height() - 60));
    ScrollBox->setMinimumSize(std::min(want.width(), 320), std::min(want.height(), 240));
    resize(want.width() + PanelWidth + 30, want.height() + 24);
    ModelChanged();
}

TfrmEditObject::~TfrmEditObject() { preview_.reset(); }

void TfrmEditObject::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (openedFitted_) {
        openedFitted_ = false;
        FitToView();
    }
    SetZoom(imgPreview->Zoom);
    imgPreview->setFocus();
}

bool TfrmEditObject::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QSpinBox*>(watched);
    if (box && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeyCombination combo = key->keyCombination();
        const bool undo = combo == QKeyCombination(Qt::ControlModifier, Qt::Key_Z);
        const bool redo = combo == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
                          combo == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (undo || redo || enter) {
            // The dialog's undo, not the box's; Enter commits and keeps the dialog open.
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            if (enter) {
                box->interpretText();
                CommitNumbers();
            } else if (undo) {
                UndoEdit();
            } else {
                RedoEdit();
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmEditObject::ModelChanged() {
    refreshing_ = true;
    RefreshList();
    RefreshNumbers();
    refreshing_ = false;
    const TBaseWarnings w = model_.Warnings();
    QString warning;
    if (w.ColumnZero)
        warning = "Vertex 1 or 2 of the base triangle lies in column 0: the maps cannot follow the triangles there.";
    else if (w.NoArea)
        warning = "The base triangle has no area: the maps cannot follow the triangles.";
    lblWarning->setText(warning);
    lblWarning->setVisible(!warning.isEmpty());
    const int t = model_.Selected().Triangle;
    btnAdd->setEnabled(model_.MapCount() < MaxMaps);
    btnDuplicate->setEnabled(t >= 1 && model_.MapCount() < MaxMaps);
    btnDelete->setEnabled(t >= 1);
    btnUndo->setEnabled(model_.CanUndo());
    btnRedo->setEnabled(model_.CanRedo());
    btnRender->setEnabled(model_.CanRender());
    btnRender->setToolTip(model_.CanRender() ? QString() : "Add a map to render the object");
    imgPreview->update();
    RequestFrame();
}

void TfrmEditObject::RefreshList() {
    const int n = model_.MapCount();
    lstMaps->setRowCount(n);
    const std::vector<double> shares = model_.Shares();
    for (int row = 0; row < n; ++row) {
        const TEditMap& m = model_.Object().Maps[static_cast<std::size_t>(row)];
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
        swatch.fill(ColorOf(m.Color));
        {
            QPainter frame(&swatch);
            frame.setPen(Qt::black);
            frame.drawRect(0, 0, 27, 13);
        }
        cell(1)->setIcon(QIcon(swatch));
        cell(1)->setToolTip(ColorOf(m.Color).name());
        cell(2)->setCheckState(m.Diffuse ? Qt::Checked : Qt::Unchecked);
        cell(3)->setText(QString::asprintf("%.1f %%", shares[static_cast<std::size_t>(row)]));
        cell(3)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    const int t = model_.Selected().Triangle;
    if (t >= 1) {
        lstMaps->selectRow(t - 1);
    } else {
        lstMaps->clearSelection();
    }
}

void TfrmEditObject::RefreshNumbers() {
    const auto v = model_.SelectedVertex();
    edtX->setEnabled(v.has_value());
    edtY->setEnabled(v.has_value());
    const TObjectEditModel::Selection s = model_.Selected();
    if (v) {
        const QSignalBlocker bx(edtX), by(edtY);
        edtX->setValue(v->x);
        edtY->setValue(v->y);
        lblVertex->setText(s.Triangle == 0 ? QString("Vertex %1 of the base triangle").arg(s.Vertex + 1)
                                           : QString("Vertex %1 of map %2").arg(s.Vertex + 1).arg(s.Triangle));
    } else {
        lblVertex->setText(s.Triangle < 0 ? "Select a vertex to place it exactly"
                                          : (s.Triangle == 0 ? QString("The base triangle") : QString("Map %1").arg(s.Triangle)));
    }
}

void TfrmEditObject::CommitNumbers() {
    if (refreshing_ || !model_.SelectedVertex()) return;
    if (model_.SetSelectedVertex({edtX->value(), edtY->value()})) ModelChanged();
}

void TfrmEditObject::ListCellClicked(int row, int column) {
    if (column != 1 || !ChooseColor || row >= model_.MapCount()) return;
    if (const auto chosen = ChooseColor(model_.Object().Maps[static_cast<std::size_t>(row)].Color))
        if (model_.SetMapColor(row + 1, *chosen)) ModelChanged();
}

void TfrmEditObject::UndoEdit() {
    if (model_.Undo()) ModelChanged();
}

void TfrmEditObject::RedoEdit() {
    if (model_.Redo()) ModelChanged();
}

void TfrmEditObject::SetZoom(double zoom, QPointF anchor) {
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    if (std::fabs(zoom - 1) < 0.05) zoom = 1;
    QScrollBar* h = ScrollBox->horizontalScrollBar();
    QScrollBar* v = ScrollBox->verticalScrollBar();
    const QSize port = ScrollBox->viewport()->size();
    if (anchor.x() < 0) anchor = QPointF(port.width() / 2.0, port.height() / 2.0);
    // The canvas point under the anchor stays under it.
    const QPointF before = imgPreview->mapFrom(ScrollBox->viewport(), anchor);
    const TEditPoint at = imgPreview->ToCanvas(before);
    imgPreview->Zoom = zoom;
    imgPreview->Relayout();
    const QPointF after = imgPreview->ToScreen(at.x, at.y);
    h->setValue(static_cast<int>(std::lround(after.x() - anchor.x())));
    v->setValue(static_cast<int>(std::lround(after.y() - anchor.y())));
    lblZoom->setText(QString("%1 %").arg(std::lround(zoom * 100)));
}

void TfrmEditObject::FitToView() {
    imgPreview->World = WorldFor(model_.Object(), background_->Width(), background_->Height());
    const QSize port = ScrollBox->maximumViewportSize();
    const double zoom = std::min(double(port.width() - 2) / imgPreview->World.width(),
                                 double(port.height() - 2) / imgPreview->World.height());
    SetZoom(zoom);
}

void TfrmEditObject::RequestFrame() { frameClock_->MarkDirty(); }

void TfrmEditObject::FrameTick() {
    if (model_.Revision() != submittedRevision_) {
        const bool mayReplace = submittedChange_ == 0 || shownChange_ >= submittedChange_ ||
                                sinceSubmit_.elapsed() >= PatienceForFirstFrame;
        if (mayReplace) {
            submittedChange_ = preview_->Submit(model_.Object(), background_);
            submittedRevision_ = model_.Revision();
            sinceSubmit_.restart();
        } else {
            RequestFrame();
        }
    }
    TPreviewFrameInfo info;
    if (preview_->TakeFrame(imgPreview->Frame, frameSerial_, &info)) shownChange_ = info.Change;
}

}  // namespace fernweave
