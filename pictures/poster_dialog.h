// TfrmPoster: the "Render Poster" dialog, a thin view over PosterSettings.
#pragma once

#include <QDialog>
#include <functional>

#include "poster_job.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace fernweave {

class TfrmPoster : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPoster(QWidget* parent = nullptr);

    // The size presets to four times the canvas (at most 16384 a side).
    void ResetSize(int canvasWidth, int canvasHeight);
    PosterSettings Settings() const;
    int Resolution() const;

    QSpinBox *edWidth, *edHeight, *edResolution, *edSupersample, *edHits;
    QComboBox* cbShading;
    QLineEdit* edFile;
    QPushButton *btnBrowse, *btnOk, *btnCancel;
    QLabel* lblSteps;

    // Chooses the file (the window's save dialog); true when one was chosen.
    std::function<bool()> Browse;
    int Format = 0;  // of the chosen file

private:
    void SettingsChanged();
};

}  // namespace fernweave
