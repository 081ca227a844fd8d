// Before any Qt header: the service's slots() is a Qt keyword.
#include "service/service.h"

#include "ui/windows/right_video_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <QtTest/QTest>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../../service/phone_link.h"
#include "../../transcode/media_fixtures.h"
#include "core_kit.h"
#include "foundation/ini_file.h"
#include "qt_test_env.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/key_target.h"
#include "ui/toolkit/menu_dlg.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/toolkit/qt_executor.h"
#include "ui/windows/convert_list.h"
#include "ui/windows/left_menu_dlg.h"
#include "ui/windows/save_folder_bar.h"
#include "ui/windows/set_content_dlg.h"
#include "ui/windows/video_wnd_dlg.h"
#include "ui/windows/video_wnd_list.h"
#include "ui/windows/zorvex_vr_client_dlg.h"
#include "window_fixture.h"

namespace zorvex::ui {
namespace {

using P = CRightVideoDlg;

// The bounding box of the pixels close to a colour.
QRect colourBox(const QImage& image, const QColor& colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test::sameColour(image.pixel(x, y), colour, 40)) box |= QRect(x, y, 1, 1);
    return box;
}

// The page on real core objects in a fresh home folder, 812 x 630 as in the
// main window. Addresses are 127.0.93.x: nobody else's, all on loopback.
class PageTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Its service on an address of its own, clear of the ones the tests move to.
        kit = std::make_unique<test::CoreKit>(home_, executor, test::runAddress(3));
    }
    void TearDown() override {
        page.reset();
        window.reset();
        session_.reset();
        kit.reset();
        WindowTest::TearDown();
    }

    // The page's session over the kit's library and queue, made once; the
    // phones, the switch and the service's state follow the fixture's
    // functions where set.
    test::ScriptedSession& session() {
        if (!session_) {
            CoreParts parts;
            parts.library = &kit->library();
            parts.queue = &kit->queue();
            parts.addresses = addresses;
            // The service's address is the one shown.
            parts.service = &kit->service();
            if (followNetworks) parts.networks = kit->application().core().networks.get();
            session_ = std::make_unique<test::ScriptedSession>(parts);
            session_->phonesScript = phones;
            session_->switchScript = switchAddress;
            // Unscripted and off the networks, a switch is refused: the kit's
            // service stays put.
            if (!switchAddress && !followNetworks)
                session_->switchScript = [](const std::string&) { return false; };
            session_->serviceRunningScript = serviceRunning;
            session_->openScript = [this](const std::string& path) {
                opened.push_back(path);
                return true;
            };
        }
        return *session_;
    }
    P& open() {
        // A page opened again hears a session of its own, with the
        // addresses and functions of now.
        page.reset();
        session_.reset();
        page = std::make_unique<P>(nullptr, session());
        page->resize(812, 630);
        page->Layout();
        page->show();
        return *page;
    }
    // Cards for files that do not exist: examined at once.
    void addCards(int count) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(dir_.file("v/" + std::to_string(i) + ".mp4"));
        kit->library().AddByDialog(paths);
        ASSERT_TRUE(pump([&] { return page->cardList()->cardCount() == count && examined(); }));
    }
    bool examined() const {
        for (const auto& item : kit->library().items())
            if (!item.card->examined()) return false;
        return !kit->library().examining();
    }
    void clickCard(int index) { test::click(*page->cardList()->cardAt(index)); }
    bool followNetworks = false;  // the session drives the kit's served networks
    bool allCardsChecked() const { return page->cardList()->AllChecked(); }
    CKbcButton& button(int id) { return *page->button(id); }
    bool visible(int id) { return button(id).isVisible(); }
    // The address the kit's service runs on, shown as the service's.
    std::string here() { return kit->service().address(); }
    // The kit's service for the test alone to move: the kit's watch on the
    // adapters would pin it back at its next look.
    Service& unwatchedService() {
        kit->application().core().networks.reset();
        return kit->service();
    }

    QObject guiContext;
    QtExecutor executor{&guiContext};
    std::unique_ptr<test::CoreKit> kit;
    std::vector<std::string> addresses{"127.0.0.1"};
    std::function<int()> phones;
    std::function<bool(const std::string&)> switchAddress;
    std::function<bool()> serviceRunning;
    std::vector<std::string> opened;
    std::unique_ptr<test::ScriptedSession> session_;
    std::unique_ptr<P> page;
    std::unique_ptr<CZorvexVRClientDlg> window;
};

TEST_F(PageTest, SwitchViewShowsTheButtonsOfEachView) {
    P& p = open();
    EXPECT_EQ(p.view(), RightPage::ViewLibrary);
    EXPECT_TRUE(p.cardList()->isVisible());
    EXPECT_TRUE(visible(P::IdAdd) && visible(P::IdConvert));
    EXPECT_FALSE(visible(P::IdDelete) || visible(P::IdCheckAll)) << "nothing to delete yet";
    EXPECT_TRUE(button(P::IdConvert).inactive());
    EXPECT_EQ(button(P::IdCheckAll).geometry(), QRect(812 - 186, 630 - 34, 50, 18));
    EXPECT_EQ(p.cardList()->geometry(), QRect(0, 52, 808, 526));

    addCards(1);
    EXPECT_TRUE(pump([&] { return visible(P::IdDelete) && visible(P::IdCheckAll); }));
    // The bottom bar shows, and "全选" sits on it without a box of another grey.
    const QImage bar = test::grab(p);
    EXPECT_TRUE(test::sameColour(bar.pixel(400, 630 - 20), colorref(0xF8F8F8)));
    EXPECT_TRUE(test::sameColour(bar.pixel(812 - 186 + 48, 630 - 33), colorref(0xF8F8F8)));

    p.SwitchView(RightPage::ViewConvert);
    EXPECT_TRUE(p.convertList()->isVisible());
    EXPECT_FALSE(p.cardList()->isVisible() || p.settingsPage()->isVisible());
    for (int id : {P::IdAdd, P::IdConvert, P::IdDelete, P::IdCheckAll}) EXPECT_FALSE(visible(id));
    EXPECT_TRUE(visible(P::IdModifyPath) && visible(P::IdClean));
    auto onPage = [&](int id) {
        return QRect(button(id).mapTo(&p, QPoint(0, 0)), button(id).size());
    };
    EXPECT_EQ(onPage(P::IdModifyPath), QRect(398, 630 - 37, 70, 26));
    EXPECT_EQ(onPage(P::IdClean), QRect(812 - 106, 630 - 34, 86, 16));

    p.SwitchView(RightPage::ViewSettings);
    EXPECT_TRUE(p.settingsPage()->isVisible());
    EXPECT_FALSE(p.convertList()->isVisible() || p.cardList()->isVisible());
    for (int id : {P::IdAdd, P::IdConvert, P::IdDelete, P::IdCheckAll, P::IdModifyPath, P::IdClean})
        EXPECT_FALSE(visible(id));

    p.SwitchView(7);  // only the number changes
    EXPECT_EQ(p.view(), 7);
    EXPECT_TRUE(p.settingsPage()->isVisible());
    p.SwitchView(RightPage::ViewLibrary);
    EXPECT_TRUE(visible(P::IdAdd) && visible(P::IdDelete) && visible(P::IdCheckAll));
}

TEST_F(PageTest, TheAddressBoxOpensAMenuOnlyForMoreThanOneAddress) {
    P& one = open();
    const QPoint box = one.addressBoxRect().center();
    test::press(one, box);
    EXPECT_TRUE(one.titleState().menuOpen);
    EXPECT_FALSE(one.addressMenu()->isVisible());
    // The box shows its open cell, IPCombo's second, as drawn on the title band.
    const QRect at = one.addressBoxRect();
    QImage expected(at.size(), QImage::Format_ARGB32);
    expected.fill(colorref(0xF8F8F8));
    {
        QPainter painter(&expected);
        SkinImage::load(QStringLiteral("FP\\IPCombo.png"))
            .draw(painter, QRectF(QPointF(), at.size()), QRectF(0, 22, 126, 22));
    }
    const QImage shot = test::grab(one).copy(at);
    for (QPoint edge : {QPoint(60, 0), QPoint(0, 11), QPoint(125, 11), QPoint(60, 21)})
        EXPECT_TRUE(test::sameColour(shot.pixel(edge), expected.pixelColor(edge), 8)) << edge.x();
    test::press(one, box);
    EXPECT_FALSE(one.titleState().menuOpen);

    addresses = {here(), "127.0.93.1", "127.0.93.2"};
    P& three = open();
    test::press(three, three.addressBoxRect().center());
    ASSERT_TRUE(three.addressMenu()->isVisible());
    EXPECT_EQ(three.addressMenu()->size(), QSize(126, 66));
    EXPECT_EQ(three.addressMenu()->pos(),
              three.mapToGlobal(three.addressBoxRect().bottomLeft() + QPoint(0, 1)));
    EXPECT_EQ(three.addressMenu()->current(), QString::fromStdString(here()));
    test::press(three, QPoint(400, 300));  // anywhere else closes it
    EXPECT_FALSE(three.addressMenu()->isVisible());
    EXPECT_FALSE(three.titleState().menuOpen);
}

TEST_F(PageTest, TabWalksThePageInItsOrderAndKeysWorkTheAddressMenu) {
    addresses = {here(), "127.0.93.1"};
    P& p = open();
    addCards(12);
    clickCard(7);  // lost videos: "转码" stays inactive, "删除" comes
    p.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p));
    button(P::IdAdd).setFocus(Qt::ActiveWindowFocusReason);
    std::vector<QWidget*> walked;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked.push_back(QApplication::focusWidget());
    }
    // Past the inactive "转码"; the grid once, at its clicked card; the bottom bar from the left.
    const std::vector<QWidget*> order{p.addressTarget(),      &button(P::IdMin),
                                      &button(P::IdClose),    p.cardList()->cardAt(7),
                                      &button(P::IdCheckAll), &button(P::IdDelete)};
    EXPECT_EQ(walked, order);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), &button(P::IdCheckAll));

    EXPECT_EQ(QAccessible::queryAccessibleInterface(p.addressTarget())->text(QAccessible::Name),
              QStringLiteral("服务地址：") + QString::fromStdString(session().currentAddress()));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&button(P::IdClose))->text(QAccessible::Name),
              QStringLiteral("关闭"));
    QTest::keyClick(p.addressTarget(), Qt::Key_Down);
    ASSERT_TRUE(p.addressMenu()->isVisible());
    QTest::keyClick(p.addressTarget(), Qt::Key_Escape);
    EXPECT_FALSE(p.addressMenu()->isVisible());
    QTest::keyClick(p.addressTarget(), Qt::Key_Space);
    QTest::keyClick(p.addressTarget(), Qt::Key_Up);  // from none: the last row
    EXPECT_EQ(p.addressMenu()->hoverIndex(), 2);
    // Opened by the mouse, the menu takes the keys wherever the focus is on
    // the page: the grid behind neither scrolls nor moves.
    QTest::keyClick(p.addressTarget(), Qt::Key_Escape);
    p.cardList()->cardAt(7)->setFocus(Qt::MouseFocusReason);
    test::press(p, p.addressBoxRect().center());
    ASSERT_TRUE(p.addressMenu()->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    EXPECT_EQ(p.addressMenu()->hoverIndex(), 2);
    EXPECT_EQ(QApplication::focusWidget(), p.cardList()->cardAt(7));
    EXPECT_EQ(p.cardList()->scrollPosition(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(p.titleState().menuOpen);
    test::press(p, p.addressBoxRect().center());
    ASSERT_TRUE(p.titleState().menuOpen);
    QTest::keyClick(p.cardList(), Qt::Key_Escape);
    EXPECT_FALSE(p.titleState().menuOpen);
    // The list holds the focus after a click; Shift+Tab goes on from the grid's place.
    test::release(p, p.addressBoxRect().center());
    ASSERT_EQ(QApplication::focusWidget(), p.cardList());
    QTest::keyClick(p.cardList(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), &button(P::IdClose));

    // In the conversion view, after the title band: the save folder's icon, which opens it.
    p.SwitchView(RightPage::ViewConvert);
    button(P::IdClose).setFocus(Qt::TabFocusReason);
    QTest::keyClick(&button(P::IdClose), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget()->accessibleName(), QStringLiteral("打开保存文件夹"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(opened, std::vector<std::string>{session().convertFolder()});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &button(P::IdModifyPath));
}

// --address pins the first address; the menu offers every network first,
// and each choice is served at once and saved.
TEST_F(PageTest, TheMenuServesEveryNetworkOrThePinnedOneAndRemembersTheChoice) {
    const std::string first = test::runAddress(3), second = test::runAddress(4);
    // One address given, and so pinned: nothing to choose, as documented.
    followNetworks = true;
    EXPECT_EQ(open().addressMenu()->items().size(), 1u);
    page.reset();
    session_.reset();
    kit.reset();
    kit = std::make_unique<test::CoreKit>(home_, executor, first, nullptr,
                                          std::vector<std::string>{second});
    followNetworks = true;
    P& p = open();
    auto texts = [&] {
        QStringList shown;
        for (const auto& item : p.addressMenu()->items()) shown.push_back(item.text);
        return shown;
    };
    EXPECT_EQ(texts(), QStringList({P::AllNetworksText(), QString::fromStdString(first),
                                    QString::fromStdString(second)}));
    EXPECT_EQ(p.addressMenu()->current(), QString::fromStdString(first));
    int switches = 0;
    QObject::connect(&p, &P::addressSwitched, [&](const QString&, bool ok) { switches += ok; });
    auto listening = [](const std::string& address) {
        return !test::portIsFree(address, wire::kLinkPort) &&
               !test::portIsFree(address, wire::kHttpPort);
    };
    const std::string config = home_ + "/config.ini";

    p.OnAddressChosen(P::AllNetworksText());
    ASSERT_TRUE(pump([&] { return switches == 1; }));
    EXPECT_TRUE(listening(first) && listening(second));
    EXPECT_TRUE(session().pinnedAddress().empty());
    EXPECT_EQ(p.addressMenu()->current(), P::AllNetworksText());
    EXPECT_EQ(test::readFile(config).find("PinnedIP=1"), std::string::npos);

    p.OnAddressChosen(QString::fromStdString(second));
    ASSERT_TRUE(pump([&] { return switches == 2; }));
    EXPECT_TRUE(listening(second));
    EXPECT_TRUE(test::portIsFree(first, wire::kLinkPort) &&
                test::portIsFree(first, wire::kHttpPort));
    EXPECT_NE(test::readFile(config).find("PinnedIP=" + second), std::string::npos);
    EXPECT_FALSE(p.titleState().serviceDown);
    EXPECT_TRUE(p.addressToolTip().isEmpty());
}

TEST_F(PageTest, SelectAllFollowsTheCards) {
    P& p = open();
    addCards(3);
    CKbcButton& all = button(P::IdCheckAll);
    clickCard(0);
    clickCard(1);
    EXPECT_FALSE(all.checked());
    EXPECT_FALSE(button(P::IdDelete).inactive());
    EXPECT_TRUE(button(P::IdConvert).inactive()) << "missing videos cannot be converted";
    clickCard(2);  // the last unchecked one
    EXPECT_TRUE(all.checked());
    clickCard(1);
    EXPECT_FALSE(all.checked());
    clickCard(1);
    EXPECT_TRUE(all.checked());

    test::click(all);  // none
    EXPECT_FALSE(all.checked());
    EXPECT_FALSE(kit->library().items()[0].card->checked());
    EXPECT_TRUE(button(P::IdDelete).inactive() && button(P::IdConvert).inactive());
    test::click(all);  // every card
    EXPECT_TRUE(all.checked());
    EXPECT_TRUE(allCardsChecked());
    EXPECT_FALSE(button(P::IdDelete).inactive());

    // Plain cards (here missing ones) are only unshared: "删除" asks nothing.
    test::click(button(P::IdDelete));
    EXPECT_FALSE(p.deletePrompt());
    ASSERT_TRUE(pump([&] { return p.cardList()->cardCount() == 0; }));
    EXPECT_FALSE(all.checked()) << "an empty list is not all checked";
    EXPECT_FALSE(all.isVisible());
    EXPECT_TRUE(button(P::IdDelete).inactive());
    test::click(all);
    EXPECT_FALSE(all.checked());

    // A card that joins a checked list unchecks "全选".
    addCards(1);
    test::click(all);
    ASSERT_TRUE(all.checked());
    kit->library().AddByDialog({dir_.file("v/late.mp4")});
    EXPECT_TRUE(pump([&] { return !all.checked(); }));
}

// The question asked is the weightiest loss among the checked cards; the
// converted video's question offers to delete its file too, and means it.
TEST_F(PageTest, DeleteAsksWhatTheCheckedCardsWouldLose) {
    // Real tasks give the looks: the first conversion is held running.
    kit.reset();
    kit = std::make_unique<test::CoreKit>(home_, executor, test::runAddress(3),
                                          test::CoreKit::heldConversions(dir_.path()));
    g_pSettings()->DeleteOrigin = 1;  // after the start, which reads the settings
    P& p = open();
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(dir_.file("v/" + std::to_string(i) + ".mp4"));
        std::filesystem::create_directories(dir_.file("v"));
        std::filesystem::copy_file(test::mediaFixtures().shortClip, paths.back());
    }
    kit->library().AddByDialog(paths);
    ASSERT_TRUE(pump([&] { return p.cardList()->cardCount() == 4 && examined(); }));
    const std::string convertedFile = kit->convertFolder() + "/0.mp4";
    std::filesystem::create_directories(kit->convertFolder());
    std::filesystem::copy_file(test::mediaFixtures().shortClip, convertedFile);
    kit->library().OnConverted(paths[0], convertedFile);
    ASSERT_TRUE(pump([&] { return p.cardList()->cardCount() == 5 && examined(); }));
    auto items = kit->library().items();  // 0, its conversion, 1, 2, 3
    items[3].card->setChecked(true);
    items[4].card->setChecked(true);
    ASSERT_TRUE(session().queueConversion().queued);
    auto look = [&](std::size_t i) { return session().card(items[i].itemId)->look; };
    ASSERT_EQ(look(1), CardLook::Converted);
    ASSERT_EQ(look(3), CardLook::Converting);
    ASSERT_EQ(look(4), CardLook::Waiting);
    auto typeFor = [&](std::initializer_list<int> checked) {
        kit->library().SetAllChecked(false);
        for (int i : checked)
            kit->library().ToggleChecked(items[static_cast<std::size_t>(i)].itemId);
        QCoreApplication::processEvents();  // the buttons follow the selection
        return session().deleteQuestion();
    };
    EXPECT_EQ(typeFor({}), DeleteQuestion::None);
    EXPECT_EQ(typeFor({0}), DeleteQuestion::Unasked);
    EXPECT_EQ(typeFor({0, 1}), DeleteQuestion::DeleteConverted);
    EXPECT_EQ(typeFor({1, 4}), DeleteQuestion::DeleteQueued);
    EXPECT_EQ(typeFor({1, 3, 4}), DeleteQuestion::StopRunning);

    // The converted card's file exists: "彻底删除源文件", shown and checked
    // by DeleteOrigin, deletes it from the disk with the card.
    typeFor({1});
    test::click(button(P::IdDelete));
    ASSERT_TRUE(p.deletePrompt());
    EXPECT_EQ(p.deletePrompt()->type(), CNotifyMsgDlg::TypeDeleteConverted);
    CKbcButton* check2 = p.deletePrompt()->button(CNotifyMsgDlg::IdCheck2);
    EXPECT_TRUE(check2->isVisible() && check2->checked());
    test::click(*p.deletePrompt()->button(CNotifyMsgDlg::IdOk));
    ASSERT_TRUE(pump([&] { return p.cardList()->cardCount() == 4 && !p.deletePrompt(); }));
    EXPECT_FALSE(std::filesystem::exists(convertedFile));

    // A queued task's question ends in the deletion when confirmed.
    typeFor({4});
    test::click(button(P::IdDelete));
    ASSERT_TRUE(p.deletePrompt());
    EXPECT_EQ(p.deletePrompt()->type(), CNotifyMsgDlg::TypeDeleteTask);
    test::click(*p.deletePrompt()->button(CNotifyMsgDlg::IdOk));
    ASSERT_TRUE(pump([&] { return p.cardList()->cardCount() == 3 && !p.deletePrompt(); }));
}

TEST_F(PageTest, SaveFolderIsCutAfterFortyCharactersAndChosenInAFolderDialog) {
    const QString forty(40, QLatin1Char('a')), thirtyNine(39, QLatin1Char('b'));
    using Bar = CSaveFolderBar;
    EXPECT_EQ(Bar::ShownPath(forty), forty + "...");
    EXPECT_EQ(Bar::ShownPath(thirtyNine), thirtyNine);
    EXPECT_EQ(Bar::ShownPath(forty + "tail"), forty + "...");
    // A character outside the BMP is never cut in half.
    const QString emoji = QString(39, QLatin1Char('c')) + QString::fromUtf8("😀") + "d";
    EXPECT_EQ(Bar::ShownPath(emoji), QString(39, QLatin1Char('c')) + "...");

    P& p = open();
    p.SwitchView(RightPage::ViewConvert);
    test::click(button(P::IdModifyPath));
    QFileDialog* dialog = p.folderBar()->folderDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("请选择保存路径"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_FALSE(dialog->isModal() && dialog->windowModality() == Qt::ApplicationModal);
    const std::string chosen = dir_.file("新的文件夹");
    std::filesystem::create_directories(chosen);
    emit dialog->fileSelected(QString::fromStdString(chosen + "/"));
    EXPECT_EQ(GetConvertPath(), chosen);
    EXPECT_EQ(IniFile::load(GetConfigPath()).readString(kVideoSection, "ConvertPath", "", 260),
              chosen);
    emit dialog->fileSelected(QString::fromStdString(dir_.file("no such folder")));
    EXPECT_EQ(GetConvertPath(), chosen) << "what is no folder is ignored";
    // A folder no file can be made in, even by root, is refused aloud.
    emit dialog->fileSelected(QStringLiteral("/proc/self"));
    EXPECT_EQ(GetConvertPath(), chosen);
    EXPECT_TRUE(p.toast()->showing());
    EXPECT_EQ(p.toast()->text(), QStringLiteral("无法写入此文件夹，保存位置未更改"));
    dialog->close();

    // The open-folder icon opens the folder on a click.
    Bar& bar = *p.folderBar();
    EXPECT_EQ(bar.geometry(), QRect(0, 630 - 52, 812, 52));
    const QPoint icon = Bar::folderIconRect().center();
    test::press(bar, icon);
    test::release(bar, icon);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], chosen);
    // The bar passes a press on to the page, which closes its address menu.
    test::press(p, p.addressBoxRect().center());
    ASSERT_TRUE(p.titleState().menuOpen);
    test::press(bar, {200, 30});
    test::release(bar, {200, 30});
    EXPECT_FALSE(p.titleState().menuOpen);
    EXPECT_EQ(opened.size(), 1u);
    p.SwitchView(RightPage::ViewLibrary);
    EXPECT_FALSE(bar.isVisible()) << "only the conversion view has the icon";
}

TEST_F(PageTest, AnAddressChosenWhileASwitchRunsChangesNothing) {
    std::mutex mutex;
    std::condition_variable wake;
    bool release = false, answer = true;
    std::vector<std::string> asked;
    switchAddress = [&](const std::string& address) {
        std::unique_lock lock(mutex);
        asked.push_back(address);
        wake.wait(lock, [&] { return release; });
        release = false;
        return answer;
    };
    addresses = {here(), "127.0.93.1", "127.0.93.2"};
    P& p = open();
    std::vector<std::pair<QString, bool>> switched;
    QObject::connect(&p, &P::addressSwitched,
                     [&](const QString& a, bool ok) { switched.emplace_back(a, ok); });
    auto finish = [&](bool ok) {
        {
            std::lock_guard lock(mutex);
            answer = ok;
            release = true;
        }
        wake.notify_all();
    };
    ASSERT_TRUE(p.titleState().counting);

    p.OnAddressChosen("127.0.93.1");
    EXPECT_TRUE(p.titleState().switching);
    EXPECT_FALSE(p.titleState().counting) << "paused for the switch";
    EXPECT_EQ(p.addressMenu()->current(), "127.0.93.1");
    // Dropped, though the menu marks the row it is clicked on: the mark goes
    // back to the address shown, the service's until the switch ends.
    test::release(*p.addressMenu(), {40, 50});
    EXPECT_EQ(p.addressMenu()->current(), QString::fromStdString(here()));
    finish(true);
    ASSERT_TRUE(pump([&] { return switched.size() == 1; }));
    EXPECT_EQ(asked, std::vector<std::string>{"127.0.93.1"});
    EXPECT_EQ(switched[0], std::make_pair(QString("127.0.93.1"), true));
    EXPECT_FALSE(p.titleState().switching);
    EXPECT_TRUE(p.titleState().counting);

    // A refused switch leaves the service as it was, still counted.
    p.OnAddressChosen("127.0.93.1");
    finish(false);
    ASSERT_TRUE(pump([&] { return switched.size() == 2; }));
    EXPECT_FALSE(switched[1].second);
    EXPECT_TRUE(p.titleState().counting);

    const std::string log = logText();
    for (const char* line : {"(ZorvexUIFiles\\RightVideoDlg):切换服务，IP:127.0.93.1",
                             "(ZorvexUIFiles\\RightVideoDlg):切换服务成功，IP:127.0.93.1",
                             "(ZorvexUIFiles\\RightVideoDlg):重启服务，IP:127.0.93.1",
                             "(ZorvexUIFiles\\RightVideoDlg):切换服务失败，IP:127.0.93.1"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(log.find("127.0.93.2"), std::string::npos);

    // Quitting ends the counter for good, even across a switch that ends later.
    p.OnAddressChosen("127.0.93.2");
    p.PrepareQuit();
    finish(true);
    ASSERT_TRUE(pump([&] { return switched.size() == 3; }));
    EXPECT_FALSE(p.titleState().counting);
    EXPECT_TRUE(p.quitting());
}

TEST_F(PageTest, APhoneOnARealServiceShowsTheDeviceTextAndFollowsASwitch) {
    Service& service = unwatchedService();
    ASSERT_TRUE(test::portIsFree("127.0.93.1", wire::kLinkPort));
    ASSERT_TRUE(service.setAddress("127.0.93.1"));
    ASSERT_TRUE(test::waitUntil([] { return test::PhoneLink("127.0.93.1").connected(); }));
    ASSERT_TRUE(test::waitUntil([&] { return service.connectedClients() == 0; }));
    phones = [&] { return service.connectedClients(); };
    switchAddress = [&](const std::string& a) { return service.setAddress(a).ok(); };
    addresses = {"127.0.93.1", "127.0.93.2"};
    P& p = open();
    std::vector<bool> switched;
    QObject::connect(&p, &P::addressSwitched,
                     [&](const QString&, bool ok) { switched.push_back(ok); });

    const QColor title = colorref(0xF8F8F8);
    // The text's room up to the state icon beside it.
    const QRect text = p.deviceTextRect().translated(0, -2).adjusted(0, 0, -12, 0);
    EXPECT_EQ(p.titleState().phones, 0);
    EXPECT_TRUE(test::inkBox(test::grab(p).copy(text), title, 8).isEmpty()) << "no text yet";
    const QRect address(812 - 200, 16, 126, 22);
    EXPECT_TRUE(colourBox(test::grab(p).copy(address), argb(0xFFF19410)).isEmpty())
        << "a dark address";

    {
        test::PhoneLink phone("127.0.93.1");
        ASSERT_TRUE(phone.connected());
        ASSERT_TRUE(pump([&] { return p.titleState().phones == 1; }));
        const QImage shot = test::grab(p);
        EXPECT_FALSE(test::inkBox(shot.copy(text), title, 8).isEmpty()) << "the text appears";
        EXPECT_GT(colourBox(shot.copy(address), argb(0xFFF19410)).width(), 40)
            << "the address turns amber";
    }
    ASSERT_TRUE(pump([&] { return p.titleState().phones == 0; }));

    // Moved to another address, the service counts its phones there.
    p.OnAddressChosen("127.0.93.2");
    ASSERT_TRUE(pump([&] { return switched.size() == 1; }));
    EXPECT_TRUE(switched[0]);
    EXPECT_EQ(service.address(), "127.0.93.2");
    std::unique_ptr<test::PhoneLink> phone;
    ASSERT_TRUE(test::waitUntil([&] {
        phone = std::make_unique<test::PhoneLink>("127.0.93.2");
        return phone->connected();
    }));
    EXPECT_TRUE(pump([&] { return p.titleState().phones == 1; }));
    service.stop();
}

TEST_F(PageTest, AnAddressTheServiceCannotBindIsMarkedAndOnlyItsFailureLogged) {
    const std::string good = test::runAddress(1), taken = test::runAddress(2);
    test::PortBlocker link(taken, wire::kLinkPort), http(taken, wire::kHttpPort);
    ASSERT_TRUE(link.ok() && http.ok());
    Service& service = unwatchedService();
    // As at start-up: the saved address cannot be bound.
    ASSERT_FALSE(service.setAddress(taken).anyRunning());
    switchAddress = [&](const std::string& a) { return service.setAddress(a).ok(); };
    serviceRunning = [&] { return service.running(); };
    addresses = {good, taken};
    P& p = open();
    std::vector<bool> switched;
    QObject::connect(&p, &P::addressSwitched,
                     [&](const QString&, bool ok) { switched.push_back(ok); });
    const QRect address(812 - 200, 16, 126, 22);
    const QColor down = argb(P::kAddressDownColour);
    EXPECT_TRUE(p.titleState().serviceDown);
    EXPECT_GT(colourBox(test::grab(p).copy(address), down).width(), 40) << "marked from the start";

    p.OnAddressChosen(QString::fromStdString(good));
    ASSERT_TRUE(pump([&] { return switched.size() == 1; }));
    EXPECT_TRUE(switched[0]);
    EXPECT_FALSE(p.titleState().serviceDown);
    EXPECT_TRUE(colourBox(test::grab(p).copy(address), down).isEmpty());

    p.OnAddressChosen(QString::fromStdString(taken));
    ASSERT_TRUE(pump([&] { return switched.size() == 2; }));
    EXPECT_FALSE(switched[1]);
    EXPECT_TRUE(p.titleState().serviceDown);
    EXPECT_GT(colourBox(test::grab(p).copy(address), down).width(), 40);
    const std::string log = logText();
    EXPECT_NE(log.find("切换服务成功，IP:" + good), std::string::npos);
    EXPECT_NE(log.find("切换服务失败，IP:" + taken), std::string::npos);
    EXPECT_EQ(log.find("切换服务成功，IP:" + taken), std::string::npos);
    service.stop();
}

TEST_F(PageTest, InTheMainWindowTheTitleBandDragsAndConversionsReachTheBalloon) {
    window =
        std::make_unique<CZorvexVRClientDlg>(session(), WindowOptions{ShadowMode::Auto, false});
    window->show();
    auto* p = qobject_cast<P*>(window->page());
    ASSERT_NE(p, nullptr) << "the real page, not the placeholder";
    EXPECT_EQ(p->geometry(), QRect(160, 0, 812, 630));
    EXPECT_EQ(window->page()->settingsPage(), p->settingsPage());

    test::press(*p, QPoint(300, 20));
    EXPECT_TRUE(window->dragging());
    test::release(*window, QPoint(300, 20));
    test::press(*p, p->addressBoxRect().center());
    EXPECT_FALSE(window->dragging()) << "the address box is no place to drag";
    test::press(*p, QPoint(300, 600));
    EXPECT_FALSE(window->dragging());

    // A finished conversion of the library rings the tray balloon with its name.
    const std::string source = dir_.file("v/trip.mp4");
    const std::string output = kit->convertFolder() + "/trip.mp4";
    test::TempDir::writeTo(output, "converted");
    kit->library().OnConverted(source, output);
    EXPECT_EQ(window->lastBalloonTitle(), "trip.mp4");

    p->ShowToast(2);
    EXPECT_EQ(p->toast()->text(), QStringLiteral("文件已存在"));

    // Broken files of one drop share one toast that names the first.
    emit session().unexaminable("broken.mp4");
    EXPECT_EQ(p->toast()->text(), QStringLiteral("无法识别的视频：broken.mp4"));
    emit session().unexaminable("worse.avi");
    EXPECT_EQ(p->toast()->text(), QStringLiteral("无法识别的视频：broken.mp4 等2个"));

    // A drop on the settings goes to the library, whose view comes up.
    window->leftMenu()->Mark(CLeftMenuDlg::MenuSettings);
    window->OnMenuRequest(CLeftMenuDlg::MenuSettings);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("v/dropped.mp4")))});
    QDragEnterEvent enter({400, 300}, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(p->view(), RightPage::ViewLibrary);
    EXPECT_EQ(window->leftMenu()->marked(), CLeftMenuDlg::MenuLibrary);
    EXPECT_TRUE(pump([&] {
        const auto items = kit->library().items();
        return !items.empty() && items.back().name == "dropped.mp4";
    }));
}

}  // namespace
}  // namespace zorvex::ui
