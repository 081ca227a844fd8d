#include "ui/windows/zorvex_vr_client_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "qt_test_env.h"
#include "ui/toolkit/client_frame_dlg.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/windows/left_menu_dlg.h"
#include "ui/windows/placeholder_page.h"
#include "ui/windows/set_content_dlg.h"
#include "update/canned_http_server.h"
#include "update/http_helper.h"
#include "update/raw_test_server.h"
#include "window_fixture.h"

namespace zorvex::ui {
namespace {

using Outcome = UpdateCheck::Outcome;
using N = CNotifyMsgDlg;

class MainWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // No library: the placeholder page. The rest follows the scripts.
        CoreParts parts;
        download_.idleTimeout = std::chrono::milliseconds(1500);
        parts.download = &download_;
        parts.update = updateContext();
        session_ = std::make_unique<test::ScriptedSession>(parts);
        session_->anyRunningScript = [this] { return converting_; };
        session_->stopAllScript = [this] {
            ++stopAlls_;
            converting_ = false;
        };
        session_->stopServiceScript = [this] { ++serviceStops_; };
        session_->checkScript = [this] { return check_(); };
        session_->openScript = [this](const std::string& path) {
            opened_.push_back(path);
            return openWorks_;
        };
    }
    void TearDown() override {
        session_.reset();
        WindowTest::TearDown();
    }
    WindowOptions options() const { return {ShadowMode::Auto, tray_}; }

    // The window, shown, with closed() counted.
    std::unique_ptr<CZorvexVRClientDlg> open() {
        auto window = std::make_unique<CZorvexVRClientDlg>(*session_, options());
        QObject::connect(window.get(), &CZorvexVRClientDlg::closed, [this] { ++closed_; });
        window->show();
        return window;
    }
    static PlaceholderPage* page(CZorvexVRClientDlg& w) {
        return static_cast<PlaceholderPage*>(w.page());
    }
    static CKbcButton* checkButton(CZorvexVRClientDlg& w) {
        return w.page()->settingsPage()->button(CSetContentDlg::IdCheckUpdate);
    }
    // Closes as the window manager would, and answers the exit prompt if one comes.
    bool closeAndAnswer(CZorvexVRClientDlg& w, int button) {
        w.close();
        if (!pump([&] { return w.page()->exitPrompt() && w.page()->exitPrompt()->isVisible(); }))
            return false;
        test::click(*w.page()->exitPrompt()->button(button));
        return pump([&] { return !w.page()->exitPrompt(); });
    }
    bool closedForGood(CZorvexVRClientDlg& w) {
        return pump([&] { return closed_ == 1; }) && !w.isVisible() && w.closing();
    }
    std::string offer(const std::string& version, const std::string& url) {
        return R"({"code":0,"data":[{"version_name":")" + version +
               R"(","version_code":"1","download_url":")" + url + R"("}]})";
    }

    std::unique_ptr<test::ScriptedSession> session_;
    bool converting_ = false;
    int stopAlls_ = 0;
    int serviceStops_ = 0;
    int closed_ = 0;
    bool tray_ = true;
    std::vector<std::string> opened_;
    bool openWorks_ = true;  // false: as on a desktop with nothing for Windows programs
    std::function<UpdateCheck()> check_ = [] { return UpdateCheck{}; };

    // The version check offers 1.0.19, downloaded from server's /Setup.exe.
    void offerUpdateFrom(test::CannedHttpServer& server) {
        check_ = [&server] {
            UpdateCheck r;
            r.outcome = Outcome::UpdateOffered;
            r.downloadUrl = server.url("/Setup.exe");
            r.versionName = "1.0.19";
            return r;
        };
    }
    static void serveInstaller(test::CannedHttpServer& server) {
        server.respond("/Setup.exe",
                       {200, "MZ" + std::string(20'000, 'z'), "application/octet-stream"});
    }
};

TEST_F(MainWindowTest, BuildsTheFramelessWindowWithItsPagesTrayAndShadow) {
    auto w = open();
    EXPECT_TRUE(w->ready());
    EXPECT_EQ(w->size(), QSize(972, 630));
    EXPECT_EQ(w->windowTitle(), "Zorvex助手");
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->leftMenu()->geometry(), QRect(0, 0, 160, 630));
    EXPECT_EQ(w->page()->geometry(), QRect(160, 0, 812, 630));
    ASSERT_NE(w->trayIcon(), nullptr);
    EXPECT_EQ(w->trayIcon()->toolTip(), "Zorvex助手");
    const auto actions = w->trayMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), "关闭");
    EXPECT_EQ(actions[1]->text(), "显示");
    CClientFrameDlg* left = w->strips()->piece(CClientFrameDlg::Left);
    ASSERT_NE(left, nullptr);
    EXPECT_TRUE(left->isVisible());
    EXPECT_EQ(left->geometry(), QRect(w->pos() - QPoint(16, 0), QSize(16, 630)));

    // The left menu's codes pick the page's views; others change nothing.
    w->OnMenuRequest(CLeftMenuDlg::MenuConvert);
    EXPECT_EQ(w->page()->view(), RightPage::ViewConvert);
    for (int code : {2, 99}) w->OnMenuRequest(code);
    EXPECT_EQ(w->page()->view(), RightPage::ViewConvert);
    test::click(*w->leftMenu()->button(CLeftMenuDlg::IdSettings));
    EXPECT_EQ(w->page()->view(), RightPage::ViewSettings);
    EXPECT_TRUE(w->page()->settingsPage()->isVisible());

    w->ShowConversionBalloon(QString(70, QLatin1Char('a')));
    EXPECT_EQ(w->lastBalloonTitle().size(), 63);
}

TEST_F(MainWindowTest, WhereStripsCannotBePlacedTheShadowIsAMarginOfTheWindow) {
    CZorvexVRClientDlg w(*session_, {ShadowMode::Margin, tray_});
    w.show();
    EXPECT_TRUE(w.usesMarginShadow());
    EXPECT_EQ(w.size(), QSize(1004, 662));
    EXPECT_EQ(w.clientRect(), QRect(16, 16, 972, 630));
    EXPECT_EQ(w.leftMenu()->geometry(), QRect(16, 16, 160, 630));
    EXPECT_EQ(w.strips()->piece(CClientFrameDlg::Left), nullptr);
    const QImage image = test::grab(w);
    const QRgb shadow = image.pixel(12, 300), client = image.pixel(100, 300);
    EXPECT_GT(qAlpha(shadow), 0);
    EXPECT_LT(qAlpha(shadow), 255);
    EXPECT_EQ(qAlpha(client), 255);
}

TEST_F(MainWindowTest, AnyPressThatNoChildTakesDragsTheWindow) {
    auto w = open();
    const QPoint start = w->pos();
    test::press(*w->leftMenu(), QPoint(80, 20));  // the logo
    EXPECT_FALSE(w->dragging());
    test::press(*w->leftMenu(), QPoint(80, 400));
    ASSERT_TRUE(w->dragging());          // offscreen there is no window manager to move it
    test::dragTo(*w, QPoint(110, 420));  // 30 right and 20 down of the press
    test::release(*w, QPoint(110, 420));
    EXPECT_FALSE(w->dragging());
    EXPECT_EQ(w->pos(), start + QPoint(30, 20));
    CClientFrameDlg* top = w->strips()->piece(CClientFrameDlg::Top);
    EXPECT_TRUE(pump([&] { return top->pos() == w->pos() - QPoint(16, 16); }))
        << "the shadow follows";

    test::press(*w->page(), QPoint(300, 20));  // the page's title band
    EXPECT_TRUE(w->dragging());
    test::release(*w, QPoint(300, 20));
    test::press(*w->page(), QPoint(300, 300));
    EXPECT_FALSE(w->dragging());
}

TEST_F(MainWindowTest, ExitWndType1AsksAndDoesWhatTheAnswerSays) {
    g_pSettings()->ExitWndType = 1;
    converting_ = true;
    auto w = open();
    ASSERT_TRUE(closeAndAnswer(*w, N::IdHide));
    EXPECT_FALSE(w->isVisible()) << "后台运行 hides to the tray";
    EXPECT_EQ(closed_, 0);

    w->BringToFront();
    ASSERT_TRUE(closeAndAnswer(*w, N::IdClose));
    EXPECT_TRUE(w->isVisible()) << "the prompt's close does nothing";

    // A second request while the prompt is shown opens no second one.
    w->close();
    ASSERT_TRUE(pump([&] { return w->page()->exitPrompt() != nullptr; }));
    N* prompt = w->page()->exitPrompt();
    QTest::keyClick(w.get(), Qt::Key_F4, Qt::AltModifier);
    w->CloseRequest();
    EXPECT_EQ(w->page()->exitPrompt(), prompt);
    test::click(*prompt->button(N::IdQuit));
    EXPECT_TRUE(closedForGood(*w));
    EXPECT_EQ(stopAlls_, 1) << "the running conversion is stopped";
    EXPECT_FALSE(w->trayIcon()->isVisible());
    EXPECT_TRUE(page(*w)->quitting());
}

TEST_F(MainWindowTest, ExitWndType2HidesToTheTrayOrMinimisesWithoutOne) {
    g_pSettings()->ExitWndType = 2;
    auto w = open();
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->strips()->piece(CClientFrameDlg::Right)->isVisible());
    w->ToggleFromTray();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->strips()->piece(CClientFrameDlg::Right)->isVisible());
    ASSERT_TRUE(pump([&] { return QApplication::activeWindow() == w.get(); }));
    QTest::keyClick(w.get(), Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(w->isVisible()) << "Alt+F4 follows the same rule";
    w->trayMenu()->actions()[1]->trigger();  // "显示" while hidden
    EXPECT_TRUE(w->isVisible());
    w->trayMenu()->actions()[1]->trigger();  // and while shown
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(closed_, 0);

    tray_ = false;
    auto bare = open();
    EXPECT_EQ(bare->trayIcon(), nullptr);
    test::click(*page(*bare)->button(PlaceholderPage::IdClose));
    EXPECT_TRUE(bare->isVisible());
    EXPECT_TRUE(bare->isMinimized()) << "without a tray the window stays findable";
    bare->ToggleFromTray();
    EXPECT_FALSE(bare->isMinimized());
}

TEST_F(MainWindowTest, TheTrayFollowsAHostThatComesLaterAndGoes) {
    g_pSettings()->ExitWndType = 2;
    tray_ = false;
    auto w = open();
    w->FollowTray(true);
    ASSERT_NE(w->trayIcon(), nullptr);
    w->close();
    EXPECT_FALSE(w->isVisible()) << "hidden into the tray that came";
    w->FollowTray(false);
    EXPECT_EQ(w->trayIcon(), nullptr);
    EXPECT_TRUE(w->isVisible() && w->isMinimized()) << "its tray gone, the window stays findable";
    w->close();
    EXPECT_TRUE(w->isMinimized());
    w->FollowTray(true);
    w->ToggleFromTray();  // a double click on the icon that came back
    EXPECT_TRUE(w->isVisible() && !w->isMinimized());
}

TEST_F(MainWindowTest, ExitWndType3QuitsAndStopsConversionsQuietly) {
    g_pSettings()->ExitWndType = 3;
    converting_ = true;
    auto w = open();
    w->trayMenu()->actions()[0]->trigger();  // "关闭"
    EXPECT_TRUE(closedForGood(*w));
    EXPECT_EQ(stopAlls_, 1);
    EXPECT_EQ(w->page()->exitPrompt(), nullptr);

    converting_ = false;
    closed_ = 0;
    auto idle = open();
    idle->close();
    EXPECT_TRUE(closedForGood(*idle));
    EXPECT_EQ(stopAlls_, 1) << "nothing to stop";
}

TEST_F(MainWindowTest, ASuccessfulDownloadQuitsWithoutAskingEvenWithExitWndType1) {
    g_pSettings()->ExitWndType = 1;
    converting_ = true;
    test::CannedHttpServer server;
    serveInstaller(server);
    offerUpdateFrom(server);
    auto w = open();
    w->OnMenuRequest(CLeftMenuDlg::MenuSettings);
    test::click(*checkButton(*w));
    EXPECT_TRUE(closedForGood(*w));
    EXPECT_EQ(opened_, std::vector<std::string>{home_ + "/appData/download/Zorvex助手1.0.19.exe"});
    EXPECT_EQ(stopAlls_, 1);
    EXPECT_EQ(serviceStops_, 1);
    EXPECT_EQ(w->page()->exitPrompt(), nullptr);
    EXPECT_TRUE(page(*w)->quitting());
}

TEST_F(MainWindowTest, AnInstallerNoProgramOpensKeepsTheWindowAndSaysWhereItIs) {
    converting_ = true;
    test::CannedHttpServer server;
    serveInstaller(server);
    offerUpdateFrom(server);
    openWorks_ = false;
    auto w = open();
    w->CheckForUpdates();
    ASSERT_TRUE(pump([&] { return w->messageBox() != nullptr; }));
    const std::string installer = home_ + "/appData/download/Zorvex助手1.0.19.exe";
    EXPECT_EQ(opened_, std::vector<std::string>{installer});
    EXPECT_EQ(w->messageBox()->windowTitle(), "Zorvex助手");
    EXPECT_TRUE(w->messageBox()->text().contains(QString::fromStdString(installer)))
        << w->messageBox()->text().toStdString();
    // The path is the point of the box: all of it shown, and copied exactly.
    auto* text = w->messageBox()->findChild<QTextEdit*>();
    ASSERT_TRUE(pump([&] { return text && text->isVisible(); }));
    EXPECT_LE(text->document()->size().height(), text->height());
    EXPECT_LE(text->document()->idealWidth(), text->width());
    text->selectAll();
    text->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), w->messageBox()->text());
    EXPECT_TRUE(test::readFile(installer).starts_with("MZ"));
    // Nothing was stopped, and the window goes on.
    EXPECT_FALSE(w->closing());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(closed_, 0);
    EXPECT_EQ(stopAlls_, 0);
    EXPECT_EQ(serviceStops_, 0);
    EXPECT_TRUE(converting_);
}

TEST_F(MainWindowTest, AFailedDownloadSaysSoAndTheWindowStays) {
    test::CannedHttpServer server;  // 404
    offerUpdateFrom(server);
    auto w = open();
    w->CheckForUpdates();
    ASSERT_TRUE(pump([&] { return w->messageBox() != nullptr; }));
    EXPECT_EQ(w->messageBox()->text(), "下载失败");
    EXPECT_EQ(w->messageBox()->windowTitle(), "Zorvex助手");
    EXPECT_FALSE(w->closing());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(serviceStops_, 0);
    EXPECT_TRUE(opened_.empty());
}

TEST_F(MainWindowTest, AFailedCheckShowsItsToastWhileTheWindowStaysResponsive) {
    test::RawTestServer server;
    // Two bytes a second: the check would hang on but for its total deadline.
    server.stream({"HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n", "{", 300, 1,
                   std::chrono::milliseconds(500)});
    g_pSettings()->UpdateServer = "127.0.0.1:" + std::to_string(server.port());
    HttpHelper helper{*updateContext()};
    helper.SetTimeouts({std::chrono::milliseconds(2000), std::chrono::seconds(60),
                        std::chrono::milliseconds(1500)});
    helper.Init();
    check_ = [&] { return CoreSession::checkWith(helper); };
    auto w = open();
    test::click(*w->leftMenu()->button(CLeftMenuDlg::IdSettings));
    test::click(*checkButton(*w));
    ASSERT_TRUE(pump([&] { return server.connections() == 1; }));
    EXPECT_TRUE(w->checkRunning());
    EXPECT_TRUE(checkButton(*w)->inactive());

    // Meanwhile the window answers: a second check is refused, the menu switches views.
    w->CheckForUpdates();
    test::click(*w->leftMenu()->button(CLeftMenuDlg::IdFly));
    EXPECT_EQ(w->page()->view(), RightPage::ViewLibrary);
    EXPECT_TRUE(w->checkRunning());

    ASSERT_TRUE(pump([&] { return page(*w)->toast()->isVisible(); }));
    EXPECT_EQ(page(*w)->toast()->text(), "服务器连接失败");
    EXPECT_FALSE(w->checkRunning());
    EXPECT_FALSE(checkButton(*w)->inactive());
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(w->downloadDialog(), nullptr);
    EXPECT_EQ(w->messageBox(), nullptr);
}

TEST_F(MainWindowTest, AServerThatAnswersWithoutAnOfferIsUpToDateNotAConnectionFailure) {
    test::CannedHttpServer server;
    g_pSettings()->UpdateServer = server.host();
    HttpHelper helper{*updateContext()};
    helper.Init();
    check_ = [&] { return CoreSession::checkWith(helper); };
    auto w = open();
    for (std::string answer : {offer(GetProductVersionText(), "http://x/y.exe"),
                               std::string(R"({"code":2})"), std::string("garbage")}) {
        server.respond(kVersionCheckPath, {200, answer});
        w->CheckForUpdates();
        ASSERT_TRUE(pump([&] { return w->messageBox() != nullptr; })) << answer;
        EXPECT_EQ(w->messageBox()->text(), "已是最新版") << answer;
        EXPECT_FALSE(page(*w)->toast()->isVisible()) << answer;
        EXPECT_FALSE(w->checkRunning());
        EXPECT_EQ(w->downloadDialog(), nullptr);
        w->messageBox()->close();
        ASSERT_TRUE(pump([&] { return w->messageBox() == nullptr; }));
    }
}

TEST_F(MainWindowTest, AWindowClosingDuringACheckCutsItShort) {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> started{false};
    check_ = [&] {
        started = true;
        test::waitUntil([&] { return cancelled.load(); });  // a check that would hang
        return UpdateCheck{};
    };
    session_->cancelScript = [&] { cancelled = true; };
    auto w = std::make_unique<CZorvexVRClientDlg>(*session_, options());
    w->CheckForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return started.load(); }));
    w.reset();
    EXPECT_TRUE(cancelled);
}

}  // namespace
}  // namespace zorvex::ui
