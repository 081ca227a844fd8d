// The views on a screen of device pixel ratio 2 (this program sets
// QT_SCALE_FACTOR before its application starts).
#include <gtest/gtest.h>

#include <cstdlib>

#include "qt_test_env.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/windows/convert_list_item_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "ui/windows/video_wnd_list.h"
#include "view_fixture.h"

namespace zorvex::ui {
namespace {

[[maybe_unused]] const int kScaled = ::setenv("QT_SCALE_FACTOR", "2", 1);

// Every opaque pixel of the 2x art is on screen unchanged: drawn, not scaled.
// Returns how many differ.
int blurredPixels(const QImage& screen, QPoint at, const QString& file, QRect cell) {
    QImage art(skinPath(file));
    art = art.convertToFormat(QImage::Format_ARGB32);
    int differing = 0, opaque = 0;
    for (int y = 0; y < cell.height(); ++y) {
        for (int x = 0; x < cell.width(); ++x) {
            const QRgb pixel = art.pixel(cell.x() + x, cell.y() + y);
            if (qAlpha(pixel) != 255) continue;
            ++opaque;
            if (!test::sameColour(screen.pixel(at.x() + x, at.y() + y), QColor(pixel), 2))
                ++differing;
        }
    }
    EXPECT_GT(opaque, 20) << file.toStdString();
    return differing;
}

class HighDpi : public test::ViewFixture {};

TEST_F(HighDpi, CardsAndRowsDrawTheDoubleArtInLogicalGeometry) {
    CVideoWndList list(*session, nullptr);
    list.resize(kWidth, kHeight);
    list.show();
    ASSERT_EQ(list.devicePixelRatioF(), 2.0);
    std::vector<std::string> absent;
    for (int i = 0; i < 6; ++i) absent.push_back(videos.file(std::to_string(i) + ".mp4"));
    kit->library().AddByDialog(absent);
    EXPECT_EQ(list.cardAt(5)->geometry(), QRect(14, 142, 144, 116)) << "logical pixels";
    CardView view = list.cardAt(0)->view();
    view.look = CardLook::Converted;
    view.checked = true;
    list.cardAt(0)->SetView(view);

    const QImage card = list.cardAt(0)->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(card.size(), QSize(288, 232));
    EXPECT_EQ(blurredPixels(card, {16, 184}, "FP\\Check@2x.png", {0, 56, 28, 28}), 0);
    EXPECT_EQ(blurredPixels(card, {172, 128}, "FP\\Coned@2x.png", {0, 0, 100, 32}), 0);

    DiskWorker disk;
    CConvertListItemDlg row(RowArt::Load(), disk, nullptr);
    row.resize(kWidth, 80);
    TaskRowView done;
    done.look = TaskLook::Done;
    row.SetTask(done);
    const QImage rowImage = row.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(blurredPixels(rowImage, {902, 46}, "Convert\\Converted@2x.png", {0, 0, 36, 36}), 0);
}

}  // namespace
}  // namespace zorvex::ui
