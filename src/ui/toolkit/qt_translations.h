#pragma once

class QCoreApplication;
class QTranslator;

namespace zorvex::ui {

// Qt's own dialogs (the file dialogs, the message boxes' standard buttons)
// speak the application's language: Qt's zh_CN catalogues from the system's
// translations folder (Debian's qt6-translations-l10n), installed on the
// application, which owns them. Also makes zh_CN the default locale, by which
// the file dialogs then write their dates (not by the system's locale).
// GUI thread, once. Returns the installed translator (the application's
// child), or nullptr when none could be loaded: the dialogs then stay in English.
QTranslator* InstallQtTranslations(QCoreApplication& application);

}  // namespace zorvex::ui
