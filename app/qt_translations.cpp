#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace fernweave {

QTranslator* InstallQtTranslations(QCoreApplication& application, const QLocale& locale) {
    auto* translator = new QTranslator(&application);
    // "qtbase" holds the widgets' and dialogs' texts; "qt" is the catalogue of all modules.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if ((translator->load(locale, "qtbase", "_", folder) || translator->load(locale, "qt", "_", folder)) &&
        QCoreApplication::installTranslator(translator))
        return translator;
    delete translator;
    return nullptr;
}

}  // namespace fernweave
