#include "ui/toolkit/notify_msg_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QtTest/QTest>

#include <map>
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
int answer(D::Type type, int id, D::Settings settings = {}, bool checkFirst = false) {
    D dialog(nullptr, type, "a.mp4", std::move(settings));
    dialog.show();
    if (checkFirst) test::click(*dialog.button(id == D::IdOk ? D::IdCheck2 : D::IdCheck1));
    test::click(*dialog.button(id));
    EXPECT_FALSE(dialog.isVisible()) << "type " << type << " button " << id;
    return dialog.resultCode();
}

TEST(NotifyMsgDlg, EachTypeShowsItsTitleBodyAndButtons) {
    struct Case {
        D::Type type;
        const char* title;
        std::set<int> shown;
    } cases[] = {
        {D::TypeDeleteConverted, "删除转码视频", {D::IdClose, D::IdCheck2, D::IdCancel, D::IdOk}},
        {D::TypeStopTask, "取消任务", {D::IdClose, D::IdCancel, D::IdOk}},
        {D::TypeExit, "退出提示", {D::IdClose, D::IdHide, D::IdQuit}},
        {D::TypeDuplicateName, "重名任务", {D::IdClose, D::IdContinue, D::IdSkip}},
        {D::TypeDeleteTask, "删除任务", {D::IdClose, D::IdCancel, D::IdOk}},
    };
    for (const Case& c : cases) {
        D dialog(nullptr, c.type, "holiday.mp4", {});
        EXPECT_EQ(dialog.size(), QSize(460, 300));
        EXPECT_EQ(dialog.title(), QString::fromUtf8(c.title));
        EXPECT_EQ(dialog.windowTitle(), dialog.title());
        EXPECT_EQ(shownButtons(dialog), c.shown) << "type " << c.type;
    }
    D duplicate(nullptr, D::TypeDuplicateName, "holiday.mp4", {});
    EXPECT_EQ(duplicate.body(), "发现《holiday.mp4》同名文件，点击继续将保存为两个文件");
    D quit(nullptr, D::TypeExit, {}, {});
    EXPECT_EQ(quit.button(D::IdOk)->geometry(), QRect(350, 252, 90, 30));
    EXPECT_EQ(quit.button(D::IdQuit)->geometry(), QRect(242, 252, 90, 30));
    EXPECT_EQ(quit.button(D::IdClose)->geometry(), QRect(420, 4, 24, 24));
}

TEST(NotifyMsgDlg, DeleteBoxStartsFromDeleteOrigin) {
    D off(nullptr, D::TypeDeleteConverted, {}, {});
    EXPECT_FALSE(off.button(D::IdCheck2)->checked());
    D::Settings settings;
    settings.deleteOrigin = true;
    D on(nullptr, D::TypeDeleteConverted, {}, settings);
    EXPECT_TRUE(on.button(D::IdCheck2)->checked());
}

TEST(NotifyMsgDlg, ResultCodesByTypeAndButton) {
    EXPECT_EQ(answer(D::TypeDeleteConverted, D::IdOk), D::ResultDelete);
    EXPECT_EQ(answer(D::TypeDeleteConverted, D::IdOk, {}, true), D::ResultDeleteWithSource);
    EXPECT_EQ(answer(D::TypeDeleteConverted, D::IdCancel), D::ResultNone);
    EXPECT_EQ(answer(D::TypeStopTask, D::IdOk), D::ResultStopTask);
    EXPECT_EQ(answer(D::TypeStopTask, D::IdCancel), D::ResultKeepTask);
    EXPECT_EQ(answer(D::TypeExit, D::IdHide), D::ResultHide);
    EXPECT_EQ(answer(D::TypeExit, D::IdQuit), D::ResultQuit);
    EXPECT_EQ(answer(D::TypeDuplicateName, D::IdContinue), D::ResultContinue);
    EXPECT_EQ(answer(D::TypeDuplicateName, D::IdSkip), D::ResultSkip);
    EXPECT_EQ(answer(D::TypeDeleteTask, D::IdOk), D::ResultDeleteTask);
    EXPECT_EQ(answer(D::TypeDeleteTask, D::IdCancel), D::ResultNone);
    for (int type = D::TypeDeleteConverted; type <= D::TypeDeleteTask; ++type)
        EXPECT_EQ(answer(static_cast<D::Type>(type), D::IdClose), D::ResultClose);
}

TEST(NotifyMsgDlg, CheckBoxesToggleWithoutEndingTheDialog) {
    D dialog(nullptr, D::TypeDeleteConverted, {}, {});
    dialog.show();
    test::click(*dialog.button(D::IdCheck2));
    EXPECT_TRUE(dialog.button(D::IdCheck2)->checked());
    test::click(*dialog.button(D::IdCheck2));
    EXPECT_FALSE(dialog.button(D::IdCheck2)->checked());
    EXPECT_TRUE(dialog.isVisible());
}

TEST(NotifyMsgDlg, RememberBoxSavesTheExitChoice) {
    std::vector<D::Result> saved;
    auto settings = [&] {
        D::Settings s;
        s.rememberExit = [&](D::Result choice) { saved.push_back(choice); };
        return s;
    };
    EXPECT_EQ(answer(D::TypeExit, D::IdHide, settings()), D::ResultHide);
    EXPECT_TRUE(saved.empty()) << "unchecked: nothing saved";
    EXPECT_EQ(answer(D::TypeExit, D::IdHide, settings(), true), D::ResultHide);
    EXPECT_EQ(answer(D::TypeExit, D::IdQuit, settings(), true), D::ResultQuit);
    EXPECT_EQ(saved, (std::vector<D::Result>{D::ResultHide, D::ResultQuit}));
    // Without a way to save, the choice still ends the dialog.
    EXPECT_EQ(answer(D::TypeExit, D::IdQuit, {}, true), D::ResultQuit);
}

TEST(NotifyMsgDlg, EnterPressesTheDefaultTabReadsTheScreenAndEscapeCloses) {
    auto open = [](D& dialog) {
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    };
    auto enter = [](D& dialog) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        return dialog.isVisible() ? -1 : dialog.resultCode();
    };
    for (auto [type, result] : std::map<D::Type, int>{{D::TypeDeleteConverted, D::ResultDelete},
                                                      {D::TypeStopTask, D::ResultStopTask},
                                                      {D::TypeExit, D::ResultHide},
                                                      {D::TypeDuplicateName, D::ResultContinue},
                                                      {D::TypeDeleteTask, D::ResultDeleteTask}}) {
        D asked(nullptr, type, "a.mp4", {});
        open(asked);
        EXPECT_EQ(enter(asked), result) << "type " << type;
    }
    // From the default on as the screen reads: close, the check box, the left button.
    D tabbed(nullptr, D::TypeDeleteConverted, {}, {});
    open(tabbed);
    std::vector<QWidget*> walked{QApplication::focusWidget()};
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(walked,
              (std::vector<QWidget*>{tabbed.button(D::IdOk), tabbed.button(D::IdClose),
                                     tabbed.button(D::IdCheck2), tabbed.button(D::IdCancel)}));
    EXPECT_EQ(enter(tabbed), D::ResultNone) << "Enter presses 取消, which has the focus";

    D dialog(nullptr, D::TypeExit, {}, {});
    dialog.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.resultCode(), D::ResultClose);

    D closed(nullptr, D::TypeStopTask, {}, {});
    closed.show();
    closed.close();
    EXPECT_EQ(closed.resultCode(), D::ResultClose);
    // Screen readers hear the buttons of the type, not the hidden ones.
    QAccessibleInterface* asked = QAccessible::queryAccessibleInterface(&closed);
    QStringList heard;
    for (int i = 0; i < asked->childCount(); ++i) heard << asked->child(i)->text(QAccessible::Name);
    EXPECT_EQ(heard, (QStringList{"关闭", "确认", "取消"}));
}

TEST(NotifyMsgDlg, ShadowStripsSurroundTheShownDialogAndLeaveWithIt) {
    D dialog(nullptr, D::TypeStopTask, {}, {});
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
