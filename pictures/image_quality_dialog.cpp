#include "image_quality_dialog.h"

#include "dialog_buttons.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace fernweave {

TfrmImageQuality::TfrmImageQuality(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("frmImageQuality");
    setWindowTitle("Image Quality");
    gbImageQuality = Named<QGroupBox>("gbImageQuality", "Image Quality", this);
    tbImageQuality = Named<QSlider>("tbImageQuality", Qt::Horizontal, gbImageQuality);
    tbImageQuality->setRange(1, 10);
    tbImageQuality->setValue(9);
    tbImageQuality->setTickInterval(1);
    tbImageQuality->setTickPosition(QSlider::TicksBelow);
    tbImageQuality->setSingleStep(1);
    tbImageQuality->setPageStep(2);
    tbImageQuality->setMinimumWidth(220);
    auto* inner = new QVBoxLayout(gbImageQuality);
    inner->addWidget(tbImageQuality);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbImageQuality);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(tbImageQuality, &QSlider::valueChanged, this, &TfrmImageQuality::tbImageQualityChange);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TfrmImageQuality::Quality() const { return tbImageQuality->value() * 10; }

void TfrmImageQuality::tbImageQualityChange() {
    gbImageQuality->setTitle(QString("Image Quality: %1%").arg(Quality()));
}

void TfrmImageQuality::showEvent(QShowEvent* event) {
    tbImageQualityChange();
    QDialog::showEvent(event);
    tbImageQuality->setFocus();
}

}  // namespace fernweave
