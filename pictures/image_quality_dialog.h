// TfrmImageQuality: the JPEG quality, in steps of 10 %.
#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QSlider;

namespace fernweave {

class TfrmImageQuality : public QDialog {
    Q_OBJECT
public:
    explicit TfrmImageQuality(QWidget* parent = nullptr);

    QGroupBox* gbImageQuality;
    QSlider* tbImageQuality;
    QPushButton *btnOk, *btnCancel;

    // The JPEG quality the track bar stands for: its position x 10.
    int Quality() const;
    void tbImageQualityChange();

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace fernweave
