#include "poster_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QImage>
#include <QPixmap>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "fractal_state.h"

#include "dialog_buttons.h"
#include "memory_budget.h"
#include "save_worker.h"

namespace fernweave {

namespace {

// Wide ranges: a typed value is never cut short; the command checks it and names the range.
QSpinBox* Field(QWidget* parent, const char* name, int min, int max, int value) {
    auto* box = Named<QSpinBox>(name, parent);
    box->setRange(min, max);
    box->setValue(value);
    return box;
}

QDoubleSpinBox* Decimal(QWidget* parent, const char* name, double min, double max, double step, double value) {
    auto* box = Named<QDoubleSpinBox>(name, parent);  // two decimals
    box->setRange(min, max);
    box->setSingleStep(step);
    box->setValue(value);
    return box;
}

constexpr int PreviewWidth = 240, PreviewHeight = 160;
constexpr int PreviewSupersample = 2;
constexpr std::uint64_t PreviewHitsPerPixel = 60;

std::uint64_t DefaultMemoryCap() {
    // What can be had, less a margin for the rest of the desktop.
    const auto available = AvailableMemory();
    const std::uint64_t bytes = available ? available->Bytes / 10 * 9 : std::uint64_t{4} << 30;
    return std::max<std::uint64_t>(bytes, std::uint64_t{64} << 20);
}

}  // namespace

struct TfrmPoster::Snapshot {
    PosterSettings settings;
    int resolution = 0, memory = 0, preset = 0;
    bool aspect = true;
    QString file;
};

TfrmPoster::TfrmPoster(QWidget* parent) : QDialog(parent) {
    setObjectName("frmPoster");
    setWindowTitle("Render Poster");
    const QString side = QString::number(MaxPosterSide);
    cbPreset = Named<QComboBox>("cbPreset", this);
    cbPreset->addItem("Custom");
    for (const PrintSize& p : PrintSizes) cbPreset->addItem(p.Name);
    chkAspect = Named<QCheckBox>("chkAspect", "&Keep the canvas's proportions", this);
    chkAspect->setChecked(true);
    edWidth = Field(this, "edWidth", 0, 9999999, 2200);
    edHeight = Field(this, "edHeight", 0, 9999999, 1456);
    edResolution = Field(this, "edResolution", 1, 65535, 300);
    edResolution->setSuffix(" DPI");
    lblPrintSize = Named<QLabel>("lblPrintSize", this);
    // The size on paper at the resolution, in either unit; typing there sets the pixels.
    edPrintWidth = Decimal(this, "edPrintWidth", 0, 1e6, 1, 0);
    edPrintHeight = Decimal(this, "edPrintHeight", 0, 1e6, 1, 0);
    cbUnit = Named<QComboBox>("cbUnit", this);
    cbUnit->addItems({"cm", "in"});
    auto* printRow = new QHBoxLayout;
    printRow->addWidget(edPrintWidth, 1);
    printRow->addWidget(new QLabel("x", this));
    printRow->addWidget(edPrintHeight, 1);
    printRow->addWidget(cbUnit);
    cbShading = Named<QComboBox>("cbShading", this);
    cbShading->addItems({"Plain", "Density"});
    cbShading->setCurrentIndex(1);
    edSupersample = Field(this, "edSupersample", 1, 8, 2);
    edHits = Field(this, "edHits", 0, 9999999, 100);
    edGamma = Decimal(this, "edGamma", 0.1, 10, 0.1, DefaultGamma);
    edExposure = Decimal(this, "edExposure", -10, 10, 0.25, 0);
    edExposure->setSuffix(" stops");
    edWhitePoint = Decimal(this, "edWhitePoint", 50, 100, 0.5, DefaultWhitePoint);
    edWhitePoint->setSuffix(" %");
    edHighlights = Decimal(this, "edHighlights", 0, 1, 0.05, 0);
    edThreads = Field(this, "edThreads", 1, 256, AvailableCores());
    edMemory = Field(this, "edMemory", 16, 1 << 30, static_cast<int>(std::min<std::uint64_t>(DefaultMemoryCap() >> 20, 1 << 30)));
    edMemory->setSuffix(" MiB");
    chkTransparent = Named<QCheckBox>("chkTransparent", "&Transparent background (PNG)", this);
    chkSixteen = Named<QCheckBox>("chkSixteen", "1&6 bits a channel (PNG, density)", this);
    lblSteps = Named<QLabel>("lblSteps", this);
    lblEstimate = Named<QLabel>("lblEstimate", this);
    edFile = Named<QLineEdit>("edFile", this);
    edFile->setPlaceholderText("Choose a file with Browse...");
    btnBrowse = Named<QPushButton>("btnBrowse", "&Browse...", this);
    btnBrowse->setAutoDefault(false);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edFile, 1);
    fileRow->addWidget(btnBrowse);

    auto* size = new QFormLayout;
    size->addRow("&Print size:", cbPreset);
    size->addRow("", chkAspect);
    size->addRow("&Width (pixels, 1 to " + side + "):", edWidth);
    size->addRow("&Height (pixels, 1 to " + side + "):", edHeight);
    size->addRow("&Resolution:", edResolution);
    size->addRow("On paper:", printRow);
    size->addRow("", lblPrintSize);
    auto* render = new QFormLayout;
    render->addRow("&Shading:", cbShading);
    render->addRow("S&upersampling (1 to 8):", edSupersample);
    render->addRow("&Quality (hits per pixel):", edHits);
    render->addRow("", lblSteps);
    render->addRow("", chkTransparent);
    render->addRow("", chkSixteen);
    render->addRow("&Threads:", edThreads);
    render->addRow("&Memory at most:", edMemory);
    auto* toneBox = Named<QGroupBox>("grpTone", "Tone (density shading)", this);
    auto* tone = new QFormLayout(toneBox);
    imgTone = Named<QLabel>("imgTone", toneBox);
    imgTone->setFixedSize(PreviewWidth, PreviewHeight);
    imgTone->setAlignment(Qt::AlignCenter);
    imgTone->setAccessibleName("Tone preview");
    tone->addRow(imgTone);
    tone->addRow("&Gamma (0.1 to 10):", edGamma);
    tone->addRow("&Exposure:", edExposure);
    tone->addRow("White &point:", edWhitePoint);
    tone->addRow("High&lights (0 to 1):", edHighlights);
    auto* fileForm = new QFormLayout;
    auto* fileLabel = new QLabel("&File:", this);
    fileLabel->setBuddy(edFile);
    fileForm->addRow(fileLabel, fileRow);
    fileForm->addRow("", lblEstimate);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addLayout(size);
    left->addLayout(render);
    columns->addLayout(left);
    columns->addWidget(toneBox, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(fileForm);
    layout->addLayout(OkCancelRow(this, btnOk, btnCancel));
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        if (Browse) Browse();
    });
    connect(cbPreset, &QComboBox::activated, this, &TfrmPoster::PresetChosen);
    connect(edWidth, &QSpinBox::valueChanged, this, &TfrmPoster::WidthChanged);
    for (QDoubleSpinBox* box : {edPrintWidth, edPrintHeight})
        connect(box, &QDoubleSpinBox::valueChanged, this, &TfrmPoster::PrintSizeTyped);
    connect(cbUnit, &QComboBox::currentIndexChanged, this, &TfrmPoster::ShowPrintSize);
    for (QSpinBox* box : {edWidth, edHeight, edHits, edThreads, edSupersample, edResolution, edMemory})
        connect(box, &QSpinBox::valueChanged, this, &TfrmPoster::SettingsChanged);
    connect(cbShading, &QComboBox::currentIndexChanged, this, &TfrmPoster::SettingsChanged);
    for (QCheckBox* box : {chkTransparent, chkSixteen}) connect(box, &QCheckBox::toggled, this, &TfrmPoster::SettingsChanged);
    connect(edFile, &QLineEdit::textChanged, this, &TfrmPoster::SettingsChanged);
    for (QDoubleSpinBox* box : {edGamma, edExposure, edWhitePoint, edHighlights})
        connect(box, &QDoubleSpinBox::valueChanged, this, &TfrmPoster::ToneChanged);
    SettingsChanged();
}

void TfrmPoster::ResetSize(int canvasWidth, int canvasHeight) {
    canvasWidth_ = std::max(1, canvasWidth);
    canvasHeight_ = std::max(1, canvasHeight);
    cbPreset->setCurrentIndex(0);
    keepingAspect_ = true;  // four times the canvas keeps it by itself
    edWidth->setValue(std::clamp(4 * canvasWidth, 1, MaxPosterSide));
    edHeight->setValue(std::clamp(4 * canvasHeight, 1, MaxPosterSide));
    keepingAspect_ = false;
    // A poster never goes to last time's file without being asked for again.
    edFile->clear();
    ConfirmedFile.clear();
}

PosterSettings TfrmPoster::Settings() const {
    PosterSettings s;
    s.Width = edWidth->value();
    s.Height = edHeight->value();
    s.Density = cbShading->currentIndex() == 1;
    s.Supersample = edSupersample->value();
    s.HitsPerPixel = static_cast<std::uint64_t>(edHits->value());
    s.Tone = {edGamma->value(), edExposure->value(), edWhitePoint->value(), edHighlights->value()};
    s.Threads = edThreads->value();
    s.Transparent = chkTransparent->isChecked();
    s.Bits = chkSixteen->isChecked() ? 16 : 8;
    return s;
}

void TfrmPoster::showEvent(QShowEvent* event) {
    typed_ = std::make_shared<Snapshot>(
        Snapshot{Settings(), Resolution(), edMemory->value(), cbPreset->currentIndex(), chkAspect->isChecked(), edFile->text()});
    QDialog::showEvent(event);
}

void TfrmPoster::reject() {
    // Cancel forgets what was typed.
    if (typed_) {
        const Snapshot s = *typed_;
        keepingAspect_ = true;
        edWidth->setValue(s.settings.Width);
        edHeight->setValue(s.settings.Height);
        keepingAspect_ = false;
        edResolution->setValue(s.resolution);
        cbShading->setCurrentIndex(s.settings.Density ? 1 : 0);
        edSupersample->setValue(s.settings.Supersample);
        edHits->setValue(static_cast<int>(s.settings.HitsPerPixel));
        edGamma->setValue(s.settings.Tone.Gamma);
        edExposure->setValue(s.settings.Tone.Exposure);
        edWhitePoint->setValue(s.settings.Tone.WhitePoint);
        edHighlights->setValue(s.settings.Tone.Highlights);
        edThreads->setValue(s.settings.Threads);
        chkTransparent->setChecked(s.settings.Transparent);
        chkSixteen->setChecked(s.settings.Bits == 16);
        edMemory->setValue(s.memory);
        cbPreset->setCurrentIndex(s.preset);
        chkAspect->setChecked(s.aspect);
        edFile->setText(s.file);
    }
    QDialog::reject();
}

void TfrmPoster::SetPreviewObject(const TIfsObject& object, const TTriangle& base, int canvasWidth,
                                  int canvasHeight, TColor background) {
    previewBackground_ = background;
    previewHits_ = DensityPicture{PreviewWidth, PreviewHeight,
                                  std::vector<DensityCell>(std::size_t{PreviewWidth} * PreviewHeight), 0, {}};
    // A small poster of its own: its own generator from 0, one chain, some 5 million steps.
    auto state = std::make_unique<FractalState>();
    PreparePoster(*state, object,
                  PosterPlacement(base, canvasWidth, canvasHeight, PreviewWidth, PreviewHeight), PreviewSupersample);
    RenderDensityParallel(*state, previewHits_, PreviewSupersample,
                          PreviewHitsPerPixel * PreviewWidth * PreviewHeight, ParallelOptions{});
    ToneChanged();
}

void TfrmPoster::ToneChanged() {
    if (previewHits_.Cells.empty()) return;
    const PosterSettings s = Settings();
    Picture24 shaded;
    ShadeDensity(previewHits_, previewBackground_, s.Tone, shaded);
    const QImage image(shaded.Data(), shaded.Width(), shaded.Height(), static_cast<qsizetype>(shaded.Stride()),
                       QImage::Format_BGR888);
    imgTone->setPixmap(QPixmap::fromImage(image.copy()));
}

void TfrmPoster::ShowPrintSize() {
    const double dpi = Resolution();
    const double perInch = cbUnit->currentIndex() == 0 ? 2.54 : 1.0;
    showingPrintSize_ = true;
    // The box being typed in keeps what is typed.
    if (!edPrintWidth->hasFocus()) edPrintWidth->setValue(edWidth->value() / dpi * perInch);
    if (!edPrintHeight->hasFocus()) edPrintHeight->setValue(edHeight->value() / dpi * perInch);
    showingPrintSize_ = false;
    lblPrintSize->setText(QString("%1 x %2 cm, %3 x %4 in at this resolution")
                              .arg(edWidth->value() / dpi * 2.54, 0, 'f', 1)
                              .arg(edHeight->value() / dpi * 2.54, 0, 'f', 1)
                              .arg(edWidth->value() / dpi, 0, 'f', 2)
                              .arg(edHeight->value() / dpi, 0, 'f', 2));
}

void TfrmPoster::PrintSizeTyped() {
    if (showingPrintSize_) return;
    const double perInch = cbUnit->currentIndex() == 0 ? 2.54 : 1.0;
    const auto pixels = [&](double length) {
        return static_cast<int>(std::min(std::lround(length / perInch * Resolution()), 9999999L));
    };
    const bool heightTyped = sender() == edPrintHeight;
    keepingAspect_ = heightTyped;  // a typed width still takes the height along when the proportions are kept
    if (heightTyped)
        edHeight->setValue(pixels(edPrintHeight->value()));
    else
        edWidth->setValue(pixels(edPrintWidth->value()));
    keepingAspect_ = false;
    cbPreset->setCurrentIndex(0);
}

void TfrmPoster::PresetChosen(int index) {
    if (index < 1 || index > static_cast<int>(std::size(PrintSizes))) return;
    int width = 0, height = 0;
    PrintSizePixels(PrintSizes[index - 1], Resolution(), canvasWidth_ >= canvasHeight_, width, height);
    keepingAspect_ = true;  // the paper's own proportions
    edWidth->setValue(width);
    edHeight->setValue(height);
    keepingAspect_ = false;
    cbPreset->setCurrentIndex(index);
}

void TfrmPoster::WidthChanged() {
    if (keepingAspect_) return;
    cbPreset->setCurrentIndex(0);
    if (chkAspect->isChecked())
        edHeight->setValue(static_cast<int>(
            std::lround(static_cast<double>(edWidth->value()) * canvasHeight_ / canvasWidth_)));
}

void TfrmPoster::SettingsChanged() {
    const PosterSettings s = Settings();
    edSupersample->setEnabled(s.Density);
    chkSixteen->setEnabled(s.Density);
    for (QDoubleSpinBox* box : {edGamma, edExposure, edWhitePoint, edHighlights}) box->setEnabled(s.Density);
    const double steps = static_cast<double>(PosterPictureJob(s).Steps);
    lblSteps->setText(QString("%1 million steps").arg(steps / 1e6, 0, 'f', steps < 1e7 ? 1 : 0));
    ShowPrintSize();
    if (!PosterSettingsProblem(s).empty()) {
        lblEstimate->setText("");
        return;
    }
    ParallelOptions threads;
    threads.Threads = s.Threads > 0 ? s.Threads : AvailableCores();
    const int format = FormatForFileName(edFile->text().toStdString(), static_cast<TPictureFormat>(Format > 0 ? Format : FormatPng));
    const PictureJob job = PosterPictureJob(s);
    const BandPlan plan = PlanBands(job, threads, MemoryCap());
    const auto bytes = [](std::uint64_t n) { return QString::fromStdString(FormatBytes(n)); };
    const QString file = bytes(PictureFileBytes(format, s.Width, s.Height, job.PixelBytes()));
    if (plan.Whole)
        lblEstimate->setText(
            QString("Takes %1 of memory; the file up to %2").arg(bytes(PictureJobBytes(job, threads)), file));
    else if (plan.Rows == 0)
        lblEstimate->setText(QString("Needs %1 of memory even in bands; the file up to %2")
                                 .arg(bytes(BandedJobBytes(job, threads, 1)), file));
    else
        lblEstimate->setText(QString("Takes %1 of memory in %2 bands (each rendered %3); the file up to %4")
                                 .arg(bytes(BandedJobBytes(job, threads, plan.Rows)))
                                 .arg(plan.Bands)
                                 .arg(BandRuns(job, plan.Bands) > plan.Bands ? "twice" : "once")
                                 .arg(file));
}

}  // namespace fernweave
