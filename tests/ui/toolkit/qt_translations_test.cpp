#include "ui/toolkit/qt_translations.h"

#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace zorvex::ui {
namespace {

bool hasChinese(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
    return false;
}

// The catalogue stays installed for one test only: other tests read Qt's English.
class QtTranslations : public ::testing::Test {
protected:
    void SetUp() override {
        translator_ = InstallQtTranslations(*qApp);
        ASSERT_NE(translator_, nullptr) << "qt6-translations-l10n is not installed";
    }
    void TearDown() override {
        QCoreApplication::removeTranslator(translator_);
        delete translator_;
        QLocale::setDefault(previous_);
    }
    QLocale previous_;
    QTranslator* translator_ = nullptr;
};

QString labelText(const QFileDialog& dialog, const char* name) {
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

QString acceptText(const QFileDialog& dialog) {
    const auto* box = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!box) return {};
    for (QAbstractButton* b : box->buttons())
        if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) return b->text();
    return {};
}

TEST_F(QtTranslations, TheAddDialogAndTheFolderChooserSpeakChinese) {
    // As the card list and the page make them.
    QFileDialog add(nullptr, QStringLiteral("请选择需要转换文件"), QDir::tempPath(),
                    QStringLiteral("视频文件 (*.mp4 *.mkv)"));
    add.setOption(QFileDialog::DontUseNativeDialog);
    add.setAcceptMode(QFileDialog::AcceptOpen);
    add.setFileMode(QFileDialog::ExistingFiles);
    for (const char* label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
        EXPECT_TRUE(hasChinese(labelText(add, label)))
            << label << ": " << labelText(add, label).toStdString();
    EXPECT_TRUE(hasChinese(acceptText(add))) << acceptText(add).toStdString();
    const auto* box = add.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->button(QDialogButtonBox::Cancel), nullptr);
    EXPECT_TRUE(hasChinese(box->button(QDialogButtonBox::Cancel)->text()));
    // Dates as a Chinese reader writes them, not in the system's "10 Dec".
    add.ensurePolished();
    ASSERT_NE(add.proxyModel(), nullptr);
    const auto* files = qobject_cast<QFileSystemModel*>(add.proxyModel()->sourceModel());
    const QModelIndex date = files->index(QDir::tempPath(), 3);
    EXPECT_EQ(add.proxyModel()->mapFromSource(date).data().toString(),
              QLocale(QLocale::Chinese).toString(files->lastModified(date), QLocale::ShortFormat));

    QFileDialog folder(nullptr, QStringLiteral("请选择保存路径"), QDir::tempPath());
    folder.setOption(QFileDialog::DontUseNativeDialog);
    folder.setFileMode(QFileDialog::Directory);
    folder.setOption(QFileDialog::ShowDirsOnly);
    // "Directory:" and "Choose" in English.
    EXPECT_TRUE(hasChinese(labelText(folder, "fileNameLabel")))
        << labelText(folder, "fileNameLabel").toStdString();
    EXPECT_TRUE(hasChinese(acceptText(folder))) << acceptText(folder).toStdString();
}

TEST_F(QtTranslations, MessageBoxButtonsSpeakChinese) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Zorvex助手"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    for (auto which : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No})
        EXPECT_TRUE(hasChinese(box.button(which)->text()))
            << box.button(which)->text().toStdString();
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}

}  // namespace
}  // namespace zorvex::ui
