#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallGermanQtTranslations(QCoreApplication& app) {
    // Parented to the application: installed translators must outlive every
    // dialog.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::German, QLocale::Germany), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    return QCoreApplication::installTranslator(translator);
}
