#include "ui/toolkit/msg_box_dlg.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "qt_test_env.h"
#include "support/test_support.h"

namespace zorvex::ui {
namespace {

std::vector<int> range(int from, int to, int step) {
    std::vector<int> out;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step) out.push_back(v);
    return out;
}

// Runs one toast to its end and returns the opacity of every step.
std::vector<int> runToast(CMsgBoxDlg& toast, int code) {
    std::vector<int> steps;
    auto c =
        QObject::connect(&toast, &CMsgBoxDlg::alphaChanged, [&](int a) { steps.push_back(a); });
    toast.Show(code);
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return !steps.empty() && toast.isHidden();
    }));
    QObject::disconnect(c);
    return steps;
}

TEST(MsgBoxDlg, FadesInThenOutAndTheNextToastStartsFromSeventy) {
    CMsgBoxDlg toast(nullptr);
    EXPECT_EQ(toast.size(), QSize(315, 80));
    std::vector<int> expected = range(20, 220, 10);
    ASSERT_EQ(expected.size(), 21u);
    for (int a : range(210, 70, -10)) expected.push_back(a);
    EXPECT_EQ(runToast(toast, 2), expected);
    EXPECT_EQ(toast.text(), "文件已存在");

    std::vector<int> second = range(80, 220, 10);
    for (int a : range(210, 70, -10)) second.push_back(a);
    EXPECT_EQ(runToast(toast, 6), second);
    EXPECT_EQ(toast.text(), "至多可添加70项视频");
}

TEST(MsgBoxDlg, UnknownCodesKeepThePreviousText) {
    EXPECT_EQ(CMsgBoxDlg::textForCode(12), "已经是最新版本");
    EXPECT_TRUE(CMsgBoxDlg::textForCode(0).isEmpty());
    EXPECT_TRUE(CMsgBoxDlg::textForCode(13).isEmpty());

    CMsgBoxDlg toast(nullptr);
    toast.Show(13);
    EXPECT_TRUE(toast.text().isEmpty());
    EXPECT_EQ(toast.code(), 13);
    toast.Show(4);
    EXPECT_EQ(toast.text(), "无法添加非视频类文件");
    toast.Show(0);
    EXPECT_EQ(toast.text(), "无法添加非视频类文件");
}

TEST(MsgBoxDlg, ShowDuringFadeOutGetsAFullFadeInAndHold) {
    CMsgBoxDlg toast(nullptr);
    std::vector<int> steps;
    QObject::connect(&toast, &CMsgBoxDlg::alphaChanged, [&](int a) { steps.push_back(a); });
    toast.Show(8);
    ASSERT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return steps.size() >= 23;  // two steps into the fade-out
    }));
    steps.clear();
    toast.Show(9);
    ASSERT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return toast.isHidden();
    }));
    // Straight up to 220, then straight down: the old fade-out no longer runs.
    const auto top = std::find(steps.begin(), steps.end(), 220);
    ASSERT_NE(top, steps.end());
    EXPECT_TRUE(std::is_sorted(steps.begin(), top + 1));
    EXPECT_TRUE(std::is_sorted(top, steps.end(), std::greater<int>()));
    EXPECT_EQ(steps.back(), 70);
}

// The toast's picture at the step whose opacity is `alpha`.
QImage pictureAt(CMsgBoxDlg& toast, int alpha) {
    QImage picture;
    auto c = QObject::connect(&toast, &CMsgBoxDlg::alphaChanged, [&](int a) {
        if (a == alpha && picture.isNull()) picture = test::grab(toast);
    });
    toast.Show(2);
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return !picture.isNull();
    }));
    QObject::disconnect(c);
    return picture;
}

// Without a compositing manager a translucent window is a black slab; the
// opaque toast must look as the translucent one does over the page's grey.
TEST(MsgBoxDlg, TheOpaqueToastIsTheTranslucentOneOverThePage) {
    CMsgBoxDlg glass(nullptr, CMsgBoxDlg::Backdrop::Translucent);
    CMsgBoxDlg solid(nullptr, CMsgBoxDlg::Backdrop::Opaque);
    EXPECT_TRUE(glass.translucent());
    EXPECT_TRUE(glass.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_FALSE(solid.translucent());
    EXPECT_FALSE(solid.testAttribute(Qt::WA_TranslucentBackground));
    // Cut to the rounded panel, as the translucent one's clear corners are.
    EXPECT_FALSE(solid.mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(solid.mask().contains(QPoint(314, 79)));
    EXPECT_TRUE(solid.mask().contains(QPoint(157, 40)));
    EXPECT_TRUE(solid.mask().contains(QPoint(3, 40)));

    const QColor grey(242, 243, 243);
    // 20 first: only a first toast fades in from there.
    for (int alpha : {20, 220}) {
        const QImage over = pictureAt(glass, alpha);
        const QImage shown = pictureAt(solid, alpha);
        // The first step is still nearly the page, not a dark slab.
        if (alpha == 20) {
            EXPECT_TRUE(test::sameColour(shown.pixel(20, 20), grey, 40));
        }
        ASSERT_EQ(over.size(), shown.size());
        int worst = 0, seeThrough = 0;
        for (int y = 8; y < 72; y += 3) {
            for (int x = 8; x < 307; x += 3) {
                const QRgb g = over.pixel(x, y), s = shown.pixel(x, y);
                seeThrough += qAlpha(s) != 255;
                const int a = qAlpha(g);
                auto blend = [&](int c, int b) { return (c * a + b * (255 - a) + 127) / 255; };
                worst = std::max({worst, std::abs(blend(qRed(g), grey.red()) - qRed(s)),
                                  std::abs(blend(qGreen(g), grey.green()) - qGreen(s)),
                                  std::abs(blend(qBlue(g), grey.blue()) - qBlue(s))});
            }
        }
        EXPECT_EQ(seeThrough, 0) << "at opacity " << alpha;
        EXPECT_LE(worst, 3) << "at opacity " << alpha;
    }
}

}  // namespace
}  // namespace zorvex::ui
