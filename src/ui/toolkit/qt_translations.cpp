#include "ui/toolkit/qt_translations.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>

namespace zorvex::ui {
namespace {

// Qt's file model writes its dates in the system's locale, whatever the
// default (often "C": "10 Dec 2026"): the date column again, in the default's.
class DefaultLocaleDates final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        constexpr int kDateColumn = 3;
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || index.column() != kDateColumn || !files)
            return QIdentityProxyModel::data(index, role);
        return QLocale().toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
    }
};

// Gives every widget-based file dialog the dates above before it first
// shows, and room to show them whole, taken from the names' column.
class FileDialogDates final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::Polish && type != QEvent::Show) return false;
        auto* dialog = qobject_cast<QFileDialog*>(watched);
        if (!dialog) return false;
        if (type == QEvent::Polish && !dialog->proxyModel())
            dialog->setProxyModel(new DefaultLocaleDates(dialog));
        auto* details = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (type == QEvent::Show && details) {
            constexpr int kNames = 0, kDates = 3, kPadding = 16, kNarrowestNames = 160;
            const QString longest = QLocale().toString(
                QDateTime(QDate(2000, 12, 30), QTime(23, 59)), QLocale::ShortFormat);
            QHeaderView* header = details->header();
            const int wanted = details->fontMetrics().horizontalAdvance(longest) + kPadding;
            const int lacking = wanted - header->sectionSize(kDates);
            if (lacking > 0) {
                header->resizeSection(
                    kNames, std::max(kNarrowestNames, header->sectionSize(kNames) - lacking));
                header->resizeSection(kDates, wanted);
            }
        }
        return false;
    }
};

}  // namespace

QTranslator* InstallQtTranslations(QCoreApplication& application) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString datesName = QStringLiteral("zorvex-file-dialog-dates");
    if (!application.findChild<QObject*>(datesName, Qt::FindDirectChildrenOnly)) {
        auto* dates = new FileDialogDates(&application);
        dates->setObjectName(datesName);
        application.installEventFilter(dates);
    }
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
