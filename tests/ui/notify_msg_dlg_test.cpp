#include "ui/toolkit/notify_msg_dlg.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include <set>

#include "qt_test_env.h"
#include "ui/toolkit/client_frame_dlg.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/kbc_button.h"

namespace zorvex::ui {
namespace {

using D = CNotifyMsgDlg;

std::set<int> shownButtons(D& dialog) {
    std::set<int> shown;
    for (int id : {D::IdClose, D::IdOk, D::IdCancel, D::IdCheck1, D::IdCheck2, D::IdContinue,
                   D::IdSkip, D::IdHide, D::IdQuit})
        if (!dialog.button(id)->isHidden()) shown.insert(id);
    return shown;
}

// Clicks a button of a shown dialog and returns its result; the dialog must end.
int answer(int type, int id, D::Settings settings = {}, bool checkFirst = false) {
    D dialog(nullptr, type, "a.mp4", std::move(settings));
    dialog.show();
    if (checkFirst) test::click(*dialog.button(id == D::IdOk ? D::IdCheck2 : D::IdCheck1));
    test::click(*dialog.button(id));
    EXPECT_FALSE(dialog.isVisible()) << "type " << type << " button " << id;
    return dialog.resultCode();
}

TEST(NotifyMsgDlg, EachTypeShowsItsTitleBodyAndButtons) {
    struct Case {
        int type;
        const char* title;
        std::set<int> shown;
    } cases[] = {
        {1, "删除转码视频", {D::IdClose, D::IdCheck2, D::IdCancel, D::IdOk}},
        {2, "取消任务", {D::IdClose, D::IdCancel, D::IdOk}},
        {3, "退出提示", {D::IdClose, D::IdHide, D::IdQuit}},
        {4, "重名任务", {D::IdClose, D::IdContinue, D::IdSkip}},
        {5, "删除任务", {D::IdClose, D::IdCancel, D::IdOk}},
    };
    for (const Case& c : cases) {
        D dialog(nullptr, c.type, "holiday.mp4", {});
        EXPECT_EQ(dialog.size(), QSize(460, 300));
        EXPECT_EQ(dialog.title(), QString::fromUtf8(c.title));
        EXPECT_EQ(dialog.windowTitle(), dialog.title());
        EXPECT_EQ(shownButtons(dialog), c.shown) << "type " << c.type;
    }
    D duplicate(nullptr, 4, "holiday.mp4", {});
    EXPECT_EQ(duplicate.body(), "发现《holiday.mp4》同名文件，点击继续将保存为两个文件");
    D quit(nullptr, 3, {}, {});
    EXPECT_EQ(quit.button(D::IdOk)->geometry(), QRect(350, 252, 90, 30));
    EXPECT_EQ(quit.button(D::IdQuit)->geometry(), QRect(242, 252, 90, 30));
    EXPECT_EQ(quit.button(D::IdClose)->geometry(), QRect(420, 4, 24, 24));
}

TEST(NotifyMsgDlg, DeleteBoxStartsFromDeleteOrigin) {
    D off(nullptr, 1, {}, {});
    EXPECT_FALSE(off.button(D::IdCheck2)->checked());
    D::Settings settings;
    settings.deleteOrigin = true;
    D on(nullptr, 1, {}, settings);
    EXPECT_TRUE(on.button(D::IdCheck2)->checked());
}

TEST(NotifyMsgDlg, ResultCodesByTypeAndButton) {
    EXPECT_EQ(answer(1, D::IdOk), D::ResultDelete);
    EXPECT_EQ(answer(1, D::IdOk, {}, true), D::ResultDeleteWithSource);
    EXPECT_EQ(answer(1, D::IdCancel), D::ResultNone);
    EXPECT_EQ(answer(2, D::IdOk), D::ResultStopTask);
    EXPECT_EQ(answer(2, D::IdCancel), D::ResultKeepTask);
    EXPECT_EQ(answer(3, D::IdHide), D::ResultHide);
    EXPECT_EQ(answer(3, D::IdQuit), D::ResultQuit);
    EXPECT_EQ(answer(4, D::IdContinue), D::ResultContinue);
    EXPECT_EQ(answer(4, D::IdSkip), D::ResultSkip);
    EXPECT_EQ(answer(5, D::IdOk), D::ResultDeleteTask);
    EXPECT_EQ(answer(5, D::IdCancel), D::ResultNone);
    for (int type = 1; type <= 5; ++type) EXPECT_EQ(answer(type, D::IdClose), D::ResultClose);
}

TEST(NotifyMsgDlg, CheckBoxesToggleWithoutEndingTheDialog) {
    D dialog(nullptr, 1, {}, {});
    dialog.show();
    test::click(*dialog.button(D::IdCheck2));
    EXPECT_TRUE(dialog.button(D::IdCheck2)->checked());
    test::click(*dialog.button(D::IdCheck2));
    EXPECT_FALSE(dialog.button(D::IdCheck2)->checked());
    EXPECT_TRUE(dialog.isVisible());
}

TEST(NotifyMsgDlg, RememberBoxSavesTheExitChoice) {
    std::vector<int> saved;
    auto settings = [&] {
        D::Settings s;
        s.saveExitWndType = [&](int value) { saved.push_back(value); };
        return s;
    };
    EXPECT_EQ(answer(3, D::IdHide, settings()), D::ResultHide);
    EXPECT_TRUE(saved.empty()) << "unchecked: nothing saved";
    EXPECT_EQ(answer(3, D::IdHide, settings(), true), D::ResultHide);
    EXPECT_EQ(answer(3, D::IdQuit, settings(), true), D::ResultQuit);
    EXPECT_EQ(saved, (std::vector<int>{2, 3}));
    // Without a way to save, the choice still ends the dialog.
    EXPECT_EQ(answer(3, D::IdQuit, {}, true), D::ResultQuit);
}

TEST(NotifyMsgDlg, EscapeClosesAndEnterDoesNothing) {
    D dialog(nullptr, 3, {}, {});
    dialog.show();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &enter);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.resultCode(), D::ResultNone);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.resultCode(), D::ResultClose);

    D closed(nullptr, 2, {}, {});
    closed.show();
    closed.close();
    EXPECT_EQ(closed.resultCode(), D::ResultClose);
}

TEST(NotifyMsgDlg, ShadowStripsSurroundTheShownDialogAndLeaveWithIt) {
    D dialog(nullptr, 2, {}, {});
    dialog.show();
    CClientFrameDlg* top = dialog.strips()->piece(2);
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(top->width(), 476);
    test::click(*dialog.button(D::IdCancel));
    EXPECT_FALSE(top->isVisible());
}

}  // namespace
}  // namespace zorvex::ui
