#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace skin {

// Writes the rendered pieces below the SkinRes root. Names are given as the
// windows address them ("Msg\\Button.png"); the backslash becomes a folder.
// A failed write is remembered, so the build fails instead of shipping a hole.
class SkinWriter {
public:
    explicit SkinWriter(QString root);

    void png(const QString& name, const QImage& image);
    // delaysCs: one delay per frame, in hundredths of a second.
    void gif(const QString& name, const std::vector<QImage>& frames,
             const std::vector<int>& delaysCs);

    int written() const { return written_; }
    bool failed() const { return failed_; }

private:
    QString pathFor(const QString& name);

    QString root_;
    int written_ = 0;
    bool failed_ = false;
};

}  // namespace skin
