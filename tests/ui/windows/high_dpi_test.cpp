// The views on screens of device pixel ratio 2 (this program sets
// QT_SCALE_FACTOR before its application starts): a 1280 x 800 screen, the
// primary, and a 2560 x 1600 one beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "qt_test_env.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/notify_msg_dlg.h"
#include "ui/windows/convert_list_item_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "ui/windows/video_wnd_list.h"
#include "ui/windows/zorvex_vr_client_dlg.h"
#include "view_fixture.h"

namespace zorvex::ui {
namespace {

[[maybe_unused]] const int kScaled = ::setenv("QT_SCALE_FACTOR", "2", 1);

// The offscreen platform's screens; the first by name is the primary.
struct Screens {
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("zorvex-screens-" + std::to_string(::getpid()) + ".json");
    Screens() {
        std::ofstream(file) << R"({"screens": [
            {"name": "1280x800", "x": 0, "y": 0, "width": 1280, "height": 800},
            {"name": "2560x1600", "x": 1280, "y": 0, "width": 2560, "height": 1600}]})";
        ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file.string()).c_str(), 1);
    }
    ~Screens() { std::filesystem::remove(file); }
} const kScreens;

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

TEST_F(HighDpi, TheMainWindowStaysWithinReachOnEveryScreen) {
    QScreen* small = QGuiApplication::primaryScreen();
    QScreen* large = QGuiApplication::screens().value(1);
    ASSERT_TRUE(small && large);
    ASSERT_EQ(small->availableGeometry(), QRect(0, 0, 640, 400)) << "logical pixels";
    CZorvexVRClientDlg window(*session, {ShadowMode::Strips, false});
    window.show();
    auto buttons = [&] { return window.titleButtonsRect().translated(window.pos()); };
    // 972 x 630 cannot fit: the title band's top and its buttons are on the screen.
    EXPECT_EQ(window.pos().y(), 0);
    EXPECT_TRUE(small->availableGeometry().contains(buttons())) << buttons().x();
    // Its prompts open on the screen, not centred over the part beyond it.
    CNotifyMsgDlg prompt(&window, CNotifyMsgDlg::TypeExit, {}, {});
    EXPECT_TRUE(small->availableGeometry().contains(prompt.geometry())) << prompt.pos().x();

    // Left on the large screen with its buttons out of reach (as where a
    // screen went away), it comes wholly onto it, drawn as ever at 2x.
    window.move(1780, 300);
    ASSERT_EQ(window.screen(), large);
    EXPECT_TRUE(large->availableGeometry().contains(window.geometry())) << window.pos().x();
    EXPECT_EQ(window.devicePixelRatioF(), 2.0);
    const QImage drawn = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drawn.size(), QSize(1944, 1260));
    EXPECT_EQ(blurredPixels(drawn, {1872, 32}, "Comm\\Close@2x.png", {0, 0, 36, 36}), 0);

    // Dragged back within reach, it stays where it is put.
    window.move(-340, 20);
    ASSERT_EQ(window.screen(), small);
    EXPECT_EQ(window.pos(), QPoint(-340, 20));

    // Back from the tray after the screens changed under it.
    window.hide();
    window.move(-3000, -3000);
    window.BringToFront();
    EXPECT_TRUE(small->availableGeometry().contains(buttons())) << buttons().x();
}

}  // namespace
}  // namespace zorvex::ui
