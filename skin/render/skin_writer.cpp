#include "skin_writer.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "gif_writer.h"

namespace skin {

SkinWriter::SkinWriter(QString root, int scale) : root_(std::move(root)), scale_(scale) {}

QString SkinWriter::pathFor(const QString& name) {
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (scale_ != 1) {
        const qsizetype dot = relative.lastIndexOf(QLatin1Char('.'));
        relative.insert(dot, QStringLiteral("@%1x").arg(scale_));
    }
    const QString path = root_ + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

void SkinWriter::png(const QString& name, const QImage& image) {
    const QString path = pathFor(name);
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "zorvex-skin-render: cannot write %s\n", qPrintable(path));
        failed_ = true;
        return;
    }
    ++written_;
}

void SkinWriter::gif(const QString& name, const std::vector<QImage>& frames,
                     const std::vector<int>& delaysCs) {
    const QString path = pathFor(name);
    if (!writeAnimatedGif(path, frames, delaysCs)) {
        std::fprintf(stderr, "zorvex-skin-render: cannot write %s\n", qPrintable(path));
        failed_ = true;
        return;
    }
    ++written_;
}

}  // namespace skin
