#include "new_image_dialog.h"

#include "dialog_buttons.h"
#include "picture.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

namespace fernweave {

namespace {
constexpr int MinValue = 1;
constexpr int MaxValue = 1200;
}  // namespace

TNumberField::TNumberField(const char* name, QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Edit = Named<QLineEdit>(name, this);
    Edit->setMaxLength(4);
    Edit->setFixedWidth(Edit->fontMetrics().horizontalAdvance("00000") + 12);
    Edit->installEventFilter(this);
    layout->addWidget(Edit);
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    for (int delta : {+1, -1}) {
        auto* arrow = new QToolButton(this);
        arrow->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
        arrow->setFixedSize(16, Edit->sizeHint().height() / 2);
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        connect(arrow, &QToolButton::clicked, this, [this, delta] { Step(delta); });
        arrows->addWidget(arrow);
    }
    layout->addLayout(arrows);
}

void TNumberField::Reset(int value) {
    position_ = value;
    Edit->setText(QString::number(value));
}

void TNumberField::Step(int delta) {
    bool ok = false;
    const int shown = Edit->text().toInt(&ok);
    if (ok) position_ = std::clamp(shown, MinValue, MaxValue);
    position_ = std::clamp(position_ + delta, MinValue, MaxValue);
    Edit->setText(QString::number(position_));
}

bool TNumberField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
        // Typed characters other than digits are dropped. Editing keys and
        // shortcuts pass, also where they come with a control character as
        // their text (X11 gives Delete "\x7f", Ctrl+V "\x16").
        const QString text = key->text();
        if (!text.isEmpty() && text.at(0).isPrint() && !(key->modifiers() & Qt::ControlModifier)) {
            const QChar c = text.at(0);
            if (c < '0' || c > '9') return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TfrmNewImage::TfrmNewImage(Hooks hooks, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), hooks_(std::move(hooks)) {
    setObjectName("frmNewImage");
    setWindowTitle("New Image");

    auto* size = Named<QGroupBox>("GroupBox1", "Canvas Size", this);
    auto* grid = new QGridLayout(size);
    const char* labels[3] = {"Width:", "Height:", "Resolution:"};
    const char* units[3] = {"Pixels", "Pixels", "DPI"};
    const char* names[3] = {"edtWidth", "edtHeight", "edtResolution"};
    TNumberField** fields[3] = {&edtWidth, &edtHeight, &edtResolution};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(labels[i], size), i, 0);
        *fields[i] = new TNumberField(names[i], size);
        grid->addWidget(*fields[i], i, 1);
        grid->addWidget(new QLabel(units[i], size), i, 2);
    }

    auto* colorBox = Named<QGroupBox>("GroupBox2", "Canvas Color", this);
    auto* colorRow = new QHBoxLayout(colorBox);
    shpCanvasColor = Named<QFrame>("shpCanvasColor", colorBox);
    shpCanvasColor->setFixedSize(48, 24);
    shpCanvasColor->setAutoFillBackground(true);
    shpCanvasColor->installEventFilter(this);
    colorRow->addWidget(shpCanvasColor);
    btnSelect = Named<QPushButton>("btnSelect", "Select", colorBox);
    btnSelect->setAutoDefault(false);
    colorRow->addWidget(btnSelect);
    colorRow->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(size);
    layout->addWidget(colorBox);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnSelect, &QPushButton::clicked, this, &TfrmNewImage::btnSelectClick);
    connect(btnOk, &QPushButton::clicked, this, [this] {
        if (hooks_.Guard)
            hooks_.Guard([this] { btnOkClick(); });
        else
            btnOkClick();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowColor();
}

void TfrmNewImage::showEvent(QShowEvent* event) {
    // Every opening starts from the standard canvas; the colour stays as last chosen.
    edtWidth->Reset(DefaultCanvasWidth);
    edtHeight->Reset(DefaultCanvasHeight);
    edtResolution->Reset(72);
    QDialog::showEvent(event);
    edtWidth->Edit->setFocus();
}

bool TfrmNewImage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == shpCanvasColor && event->type() == QEvent::MouseButtonPress) {
        btnSelectClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmNewImage::btnSelectClick() {
    if (!hooks_.ChooseColor) return;
    if (const auto chosen = hooks_.ChooseColor(this, color_)) {
        color_ = *chosen;
        ShowColor();
    }
}

void TfrmNewImage::ShowColor() {
    shpCanvasColor->setStyleSheet(QString("background-color: rgb(%1,%2,%3); border: 1px solid white;")
                                      .arg(RedOf(color_))
                                      .arg(GreenOf(color_))
                                      .arg(BlueOf(color_)));
}

int TfrmNewImage::StrToInt(const QString& text) {
    bool ok = false;
    const bool wellFormed = !text.isEmpty() && std::all_of(text.begin() + (text[0] == '+' || text[0] == '-'),
                                                            text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
    const int value = wellFormed ? text.toInt(&ok) : 0;
    if (!ok) throw std::runtime_error(QString("'%1' is not a valid integer value").arg(text).toStdString());
    return value;
}

void TfrmNewImage::btnOkClick() {
    for (TNumberField* field : {edtWidth, edtHeight, edtResolution}) {
        const int value = StrToInt(field->Edit->text());
        if (value < MinValue || value > MaxValue) {
            if (hooks_.RangeMessage) hooks_.RangeMessage(this, "Please Input a Number between 1 and 1200.");
            field->Edit->setFocus();
            field->Edit->selectAll();
            return;
        }
    }
    accept();
}

}  // namespace fernweave
