#include "dialogs.h"

#include <QMessageBox>

namespace fernweave {

TDialogs::Answer TQtDialogs::Message(QWidget* owner, const QString& title, const QString& text, Buttons buttons,
                                     Icon icon) {
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Warning   ? QMessageBox::Warning
                                          : QMessageBox::Critical);
    if (buttons == Buttons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::Ok;
    }
}

}  // namespace fernweave
