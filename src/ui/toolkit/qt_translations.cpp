#include "ui/toolkit/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zorvex::ui {

QTranslator* InstallQtTranslations(QCoreApplication& application) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt" is the catalogue that pulls in its modules' ones (qtbase among
    // them); qtbase alone where a distribution ships no such catalogue.
    for (const char* name : {"qt", "qtbase"}) {
        auto* translator = new QTranslator(&application);
        if (translator->load(chinese, QString::fromLatin1(name), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator))
            return translator;
        delete translator;
    }
    return nullptr;
}

}  // namespace zorvex::ui
