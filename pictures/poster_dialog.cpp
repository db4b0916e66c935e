#include "poster_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_buttons.h"

namespace fernweave {

namespace {

QSpinBox* Field(QWidget* parent, const char* name, int min, int max, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(min, max);
    box->setValue(value);
    return box;
}

}  // namespace

TfrmPoster::TfrmPoster(QWidget* parent) : QDialog(parent) {
    setObjectName("frmPoster");
    setWindowTitle("Render Poster");
    auto* form = new QFormLayout;
    edWidth = Field(this, "edWidth", 1, MaxPosterSide, 2200);
    edHeight = Field(this, "edHeight", 1, MaxPosterSide, 1456);
    edResolution = Field(this, "edResolution", 1, 65535, 300);
    edResolution->setSuffix(" DPI");
    cbShading = new QComboBox(this);
    cbShading->setObjectName("cbShading");
    cbShading->addItems({"Plain", "Density"});
    cbShading->setCurrentIndex(1);
    edSupersample = Field(this, "edSupersample", 1, 8, 2);
    edHits = Field(this, "edHits", 1, 1000000, 100);
    lblSteps = new QLabel(this);
    lblSteps->setObjectName("lblSteps");
    edFile = new QLineEdit(this);
    edFile->setObjectName("edFile");
    edFile->setReadOnly(true);
    btnBrowse = new QPushButton("&Browse...", this);
    btnBrowse->setObjectName("btnBrowse");
    btnBrowse->setAutoDefault(false);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edFile, 1);
    fileRow->addWidget(btnBrowse);

    form->addRow("&Width (pixels):", edWidth);
    form->addRow("&Height (pixels):", edHeight);
    form->addRow("&Resolution:", edResolution);
    form->addRow("&Shading:", cbShading);
    form->addRow("S&upersampling:", edSupersample);
    form->addRow("&Quality (hits per pixel):", edHits);
    form->addRow("", lblSteps);
    auto* fileLabel = new QLabel("&File:", this);
    fileLabel->setBuddy(btnBrowse);  // the name field only shows the choice
    form->addRow(fileLabel, fileRow);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        if (Browse) Browse();
    });
    for (QSpinBox* box : {edWidth, edHeight, edHits}) connect(box, &QSpinBox::valueChanged, this, &TfrmPoster::SettingsChanged);
    connect(cbShading, &QComboBox::currentIndexChanged, this, &TfrmPoster::SettingsChanged);
    SettingsChanged();
}

void TfrmPoster::ResetSize(int canvasWidth, int canvasHeight) {
    edWidth->setValue(std::clamp(4 * canvasWidth, 1, MaxPosterSide));
    edHeight->setValue(std::clamp(4 * canvasHeight, 1, MaxPosterSide));
}

PosterSettings TfrmPoster::Settings() const {
    PosterSettings s;
    s.Width = edWidth->value();
    s.Height = edHeight->value();
    s.Density = cbShading->currentIndex() == 1;
    s.Supersample = edSupersample->value();
    s.HitsPerPixel = static_cast<std::uint64_t>(edHits->value());
    return s;
}

int TfrmPoster::Resolution() const { return edResolution->value(); }

void TfrmPoster::SettingsChanged() {
    edSupersample->setEnabled(cbShading->currentIndex() == 1);
    const double steps = static_cast<double>(PosterPictureJob(Settings()).Steps);
    lblSteps->setText(QString("%1 million steps").arg(steps / 1e6, 0, 'f', steps < 1e7 ? 1 : 0));
}

}  // namespace fernweave
