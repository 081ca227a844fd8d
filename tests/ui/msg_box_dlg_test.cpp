#include "ui/msg_box_dlg.h"

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

}  // namespace
}  // namespace zorvex::ui
