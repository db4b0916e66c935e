// Answers the program's message boxes in tests and records what they said.
#pragma once

#include <QString>
#include <deque>
#include <stdexcept>
#include <optional>
#include <vector>

#include "dialogs.h"

namespace fernweave {

class TFakeDialogs : public TDialogs {
public:
    struct Shown {
        QString title;
        QString text;
        Buttons buttons;
        Icon icon;
    };
    std::vector<Shown> shown;
    std::deque<Answer> answers;  // given in order; Ok (or Cancel for a question) when none is left

    Answer Message(QWidget*, const QString& title, const QString& text, Buttons buttons, Icon icon) override {
        shown.push_back({title, text, buttons, icon});
        if (answers.empty()) return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<QColor> colorsAsked;                  // the preset of each colour dialog
    std::deque<std::optional<QColor>> colorAnswers;  // given in order; cancelled when none is left

    std::optional<QColor> ChooseColor(QWidget*, QColor initial) override {
        colorsAsked.push_back(initial);
        if (colorAnswers.empty()) return std::nullopt;
        const std::optional<QColor> a = colorAnswers.front();
        colorAnswers.pop_front();
        return a;
    }

    std::vector<TFileRequest> filesAsked;
    std::deque<std::optional<TFileChoice>> fileAnswers;  // given in order; cancelled when none is left

    QString failFileDialog;  // when set, the file dialog fails with this error

    std::optional<TFileChoice> ChooseFile(QWidget*, const TFileRequest& request) override {
        filesAsked.push_back(request);
        if (!failFileDialog.isEmpty()) throw std::runtime_error(failFileDialog.toStdString());
        if (fileAnswers.empty()) return std::nullopt;
        const std::optional<TFileChoice> a = fileAnswers.front();
        fileAnswers.pop_front();
        return a;
    }
};

}  // namespace fernweave
