// The About box: a borderless picture window that stands as the splash while
// the program starts and shows again from Help > About.
#pragma once

#include <QDialog>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "program_info.h"

class QLabel;

namespace fernweave {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    // `openUrl` shows the web page (the desktop's browser in the program).
    explicit TfrmAbout(std::function<void(const QUrl&)> openUrl, QWidget* parent = nullptr);

    // Modal, from the Help menu and the About button.
    void ShowModal();

    QLabel* imgAbout = nullptr;
    QLabel* lblWeb = nullptr;
    QLabel* lblOS = nullptr;
    QLabel* lblNotice = nullptr;
    QTimer Timer1;

    void imgAboutClick();
    void lblWebClick();
    void Timer1Timer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::function<void(const QUrl&)> openUrl_;
};

}  // namespace fernweave
