#include "ui/skin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zorvex::ui {
namespace {

QString& rootOverride() {
    static QString folder;
    return folder;
}

QStringList candidateRoots() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return {exeDir + QStringLiteral("/SkinRes"), dataHome + QStringLiteral("/zorvex/SkinRes"),
            QDir::cleanPath(exeDir + QStringLiteral("/../share/zorvex/SkinRes"))};
}

}  // namespace

void setSkinRoot(const QString& folder) {
    rootOverride() = folder;
}

QString skinPath(const QString& relative) {
    QString tail = relative;
    tail.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!rootOverride().isEmpty()) return rootOverride() + QLatin1Char('/') + tail;
    const QStringList roots = candidateRoots();
    for (const QString& root : roots) {
        QString path = root + QLatin1Char('/') + tail;
        if (QFileInfo::exists(path)) return path;
    }
    return roots.front() + QLatin1Char('/') + tail;
}

QImage loadSkinImage(const QString& relative) {
    QImage image(skinPath(relative));
    if (image.isNull()) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QFont skinFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace zorvex::ui
