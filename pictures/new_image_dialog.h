// TfrmNewImage: the size, resolution and colour of a new canvas.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <optional>

#include "ifs_types.h"

class QFrame;
class QGroupBox;
class QPushButton;
class QToolButton;

namespace fernweave {

// A number field that takes typed digits and the usual editing keys only, with
// arrows that step its value by 1 within 1..1200.
class TNumberField : public QWidget {
    Q_OBJECT
public:
    TNumberField(const char* name, QWidget* parent);
    QLineEdit* Edit = nullptr;
    void Reset(int value);
    void Step(int delta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int position_ = 1;  // the arrows' own position, kept in range
};

class TfrmNewImage : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // The message box of the range check, owned by this dialog.
        std::function<void(QWidget* owner, const QString& text)> RangeMessage;
        // Runs the OK check; an error it raises is shown as the program shows command errors.
        std::function<void(const std::function<void()>&)> Guard;
        std::function<std::optional<TColor>(QWidget* owner, TColor initial)> ChooseColor;
    };
    explicit TfrmNewImage(Hooks hooks, QWidget* parent = nullptr);

    TNumberField *edtWidth, *edtHeight, *edtResolution;
    QFrame* shpCanvasColor;
    QPushButton *btnSelect, *btnOk, *btnCancel;

    TColor CanvasColor() const { return color_; }
    // The three values after the dialog closed with OK.
    int WidthValue() const { return StrToInt(edtWidth->Edit->text()); }
    int HeightValue() const { return StrToInt(edtHeight->Edit->text()); }
    int ResolutionValue() const { return StrToInt(edtResolution->Edit->text()); }

    void btnSelectClick();
    void btnOkClick();

    // Reads a field's text as a decimal integer, as the OK check does; throws
    // "'text' is not a valid integer value" when it is not one.
    static int StrToInt(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowColor();
    Hooks hooks_;
    TColor color_ = clBlack;
};

}  // namespace fernweave
