// Answers the program's message boxes in tests and records what they said.
#pragma once

#include <QString>
#include <deque>
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
};

}  // namespace fernweave
