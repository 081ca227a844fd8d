#include "ui/toolkit/skin.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QStandardPaths>

#include <cmath>

#include "platform/executable_path.h"

namespace zorvex::ui {
namespace {

QImage readPremultiplied(const QString& path) {
    QImage image(path);
    if (image.isNull()) return {};
    // Geometry is handled here in pixels; Qt's own ratio from the "@2x" name would interfere.
    image.setDevicePixelRatio(1);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString doublePath(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (dot <= slash) return path + QStringLiteral("@2x");
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QString& rootOverride() {
    static QString folder;
    return folder;
}

QStringList candidateRoots() {
    // The application's folder, also from the window program that passes for it.
    const QString exeDir =
        QFileInfo(QString::fromStdString(currentExecutablePath())).absolutePath();
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

SkinImage SkinImage::fromFile(const QString& path) {
    SkinImage image;
    image.one_ = readPremultiplied(path);
    if (image.one_.isNull()) return image;
    QString two = doublePath(path);
    // A 2x file of the wrong size would draw the wrong cells: ignore it. Its
    // header tells the size without decoding it.
    if (QFileInfo::exists(two) && QImageReader(two).size() == image.one_.size() * 2)
        image.two_ = std::make_shared<Double>(Double{std::move(two), QImage(), false});
    return image;
}

const QImage* SkinImage::doubled() const {
    if (!two_ || two_->unusable) return nullptr;
    if (two_->image.isNull()) {
        two_->image = readPremultiplied(two_->path);
        // Unreadable after all, or changed since: the 1x picture serves.
        two_->unusable = two_->image.size() != one_.size() * 2;
        if (two_->unusable) return nullptr;
    }
    return &two_->image;
}

SkinImage SkinImage::load(const QString& relative) {
    return fromFile(skinPath(relative));
}

void SkinImage::draw(QPainter& painter, const QRectF& target, const QRectF& source) const {
    if (one_.isNull() || source.isEmpty() || target.isEmpty()) return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QImage* twice = ratio > 1.0 ? doubled() : nullptr;
    const QImage& picture = twice ? *twice : one_;
    const qreal scale = twice ? 2.0 : 1.0;
    const QRect cell(QPointF(source.topLeft() * scale).toPoint(),
                     QSizeF(source.size() * scale).toSize());
    const QSizeF device = target.size() * ratio;
    if (std::abs(device.width() - cell.width()) < 0.01 &&
        std::abs(device.height() - cell.height()) < 0.01) {
        painter.drawImage(target, picture, QRectF(cell));
        return;
    }
    painter.drawImage(target, picture.copy(cell));
}

void SkinImage::draw(QPainter& painter, const QRectF& target) const {
    draw(painter, target, QRectF(QPointF(0, 0), QSizeF(size())));
}

QString skinPathFor(const QString& relative, qreal devicePixelRatio) {
    QString path = skinPath(relative);
    if (devicePixelRatio <= 1.0) return path;
    const QString two = doublePath(path);
    return QFileInfo::exists(two) ? two : path;
}

QFont skinFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace zorvex::ui
