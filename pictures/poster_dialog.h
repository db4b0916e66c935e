// TfrmPoster: the "Render Poster" dialog, a thin view over PosterSettings.
#pragma once

#include <QDialog>
#include <QSpinBox>
#include <functional>
#include <optional>

#include "parallel_render.h"
#include "poster_job.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace fernweave {

class TfrmPoster : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPoster(QWidget* parent = nullptr);

    // The size presets to four times the canvas; the file field starts empty.
    void ResetSize(int canvasWidth, int canvasHeight);
    PosterSettings Settings() const;
    int Resolution() const { return edResolution->value(); }
    // The memory the job may take, in bytes.
    std::uint64_t MemoryCap() const { return static_cast<std::uint64_t>(edMemory->value()) << 20; }
    // The object the tone preview shows: rendered once, small, then shaded
    // anew at every change of the tone.
    void SetPreviewObject(const TIfsObject& object, const TTriangle& base, int canvasWidth, int canvasHeight,
                          TColor background);

    QSpinBox *edWidth, *edHeight, *edResolution, *edSupersample, *edHits, *edThreads, *edMemory;
    QDoubleSpinBox *edGamma, *edExposure, *edWhitePoint, *edHighlights, *edPrintWidth, *edPrintHeight;
    QComboBox *cbShading, *cbPreset, *cbUnit;
    QCheckBox *chkAspect, *chkTransparent, *chkSixteen;
    QLineEdit* edFile;
    QPushButton *btnBrowse, *btnOk, *btnCancel;
    QLabel *lblSteps, *lblPrintSize, *lblEstimate, *imgTone;

    // Chooses the file (the window's save dialog); true when one was chosen.
    std::function<bool()> Browse;
    int Format = 0;         // the type chosen in the save dialog
    QString ConfirmedFile;  // the name the save dialog's overwrite question allowed

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void SettingsChanged();
    void PresetChosen(int index);
    void WidthChanged();
    void ToneChanged();
    void PrintSizeTyped();
    void ShowPrintSize();
    bool showingPrintSize_ = false;
    DensityPicture previewHits_;
    TColor previewBackground_ = clBlack;
    int canvasWidth_ = DefaultCanvasWidth, canvasHeight_ = DefaultCanvasHeight;
    bool keepingAspect_ = false;
    struct Snapshot;
    std::shared_ptr<Snapshot> typed_;  // the values when the dialog showed, for Cancel
};

}  // namespace fernweave
