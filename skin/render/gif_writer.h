#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace skin {

// Writes a looping GIF89a animation. All frames share one size and one
// palette; pixels with alpha below one half become the transparent index.
// delaysCs holds one delay per frame in hundredths of a second.
bool writeAnimatedGif(const QString& path, const std::vector<QImage>& frames,
                      const std::vector<int>& delaysCs);

}  // namespace skin
