#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace skin {

// Writes the rendered pieces below the SkinRes root. Names are given as the
// windows address them ("Msg\\Button.png"); the backslash becomes a folder.
// A failed write is remembered, so the build fails instead of shipping a hole.
// A writer of scale 2 names its files "Button@2x.png", as Qt looks for them.
class SkinWriter {
public:
    SkinWriter(QString root, int scale);

    void png(const QString& name, const QImage& image);
    // delaysCs: one delay per frame, in hundredths of a second.
    void gif(const QString& name, const std::vector<QImage>& frames,
             const std::vector<int>& delaysCs);

    int written() const { return written_; }
    bool failed() const { return failed_; }

private:
    QString pathFor(const QString& name);

    QString root_;
    int scale_;
    int written_ = 0;
    bool failed_ = false;
};

}  // namespace skin
