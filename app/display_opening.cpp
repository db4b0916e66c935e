#include "display_opening.h"

#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <string>
#include <vector>

namespace fernweave {

namespace {

struct THeldMessage {
    QtMsgType Type;
    std::string File, Function, Category;
    int Line;
    QString Text;
};

QtMessageHandler PreviousHandler = nullptr;
std::vector<THeldMessage> HeldMessages;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // The toolkit's only fatal error while it starts: no platform, that is no display.
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", NoDisplayMessage);
        std::fflush(stderr);
        ::_exit(1);
    }
    HeldMessages.push_back({type, context.file ? context.file : "", context.function ? context.function : "",
                            context.category ? context.category : "", context.line, text});
}

}  // namespace

void BeginOpeningDisplay() { PreviousHandler = qInstallMessageHandler(HoldMessage); }

void EndOpeningDisplay() {
    qInstallMessageHandler(PreviousHandler);
    for (const THeldMessage& m : HeldMessages) {
        const QMessageLogContext context(m.File.c_str(), m.Line, m.Function.c_str(), m.Category.c_str());
        PreviousHandler(m.Type, context, m.Text);
    }
    HeldMessages.clear();
}

}  // namespace fernweave
