// Every message box (and later every file dialog) goes through this one small
// interface, so that tests can answer them.
#pragma once

#include <QColor>
#include <QString>
#include <optional>

class QWidget;

namespace fernweave {

class TDialogs {
public:
    enum class Buttons { Ok, YesNoCancel };
    enum class Icon { Information, Warning, Error };
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~TDialogs() = default;

    // A modal message box owned by `owner`.
    virtual Answer Message(QWidget* owner, const QString& title, const QString& text, Buttons buttons, Icon icon) = 0;
    // The modal colour dialog, preset to `initial`; nothing when it is closed without confirming.
    virtual std::optional<QColor> ChooseColor(QWidget* owner, QColor initial) = 0;
};

// The real dialogs of the desktop.
class TQtDialogs : public TDialogs {
public:
    Answer Message(QWidget* owner, const QString& title, const QString& text, Buttons buttons, Icon icon) override;
    std::optional<QColor> ChooseColor(QWidget* owner, QColor initial) override;
};

}  // namespace fernweave
