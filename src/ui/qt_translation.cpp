#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void InstallQtTranslation(QCoreApplication& app) {
    static QTranslator translator;
    static const bool loaded = translator.load(QLocale(QLocale::Russian), "qtbase", "_",
                                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) app.installTranslator(&translator);
}
