// Qt's own texts (the standard buttons, the file and colour dialogs) in the
// user's language, from Debian's qt6-translations-l10n. The program's own
// texts are not translated.
#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace fernweave {

// Installs Qt's translation for `locale` into the application, when one is
// installed, and returns it (owned by the application); nullptr when none is.
QTranslator* InstallQtTranslations(QCoreApplication& application, const QLocale& locale = QLocale());

}  // namespace fernweave
