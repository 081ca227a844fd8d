#include "ui/windows/right_video_dlg.h"

#include "ui/session/core_session.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>

#include <algorithm>

#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/key_target.h"
#include "ui/toolkit/menu_dlg.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/toolkit/tab_chain.h"
#include "ui/windows/convert_list.h"
#include "ui/windows/set_content_dlg.h"
#include "ui/windows/video_wnd_list.h"

namespace zorvex::ui {
namespace {

constexpr const char* kTag = "ZorvexUIFiles\\RightVideoDlg";
const QString kTitle = QStringLiteral("Zorvex助手");
constexpr int kBottomBar = 52;

void log(CoreSession& session, const char* what, const std::string& address) {
    session.log(std::string(what) + address, kTag);
}

}  // namespace

CRightVideoDlg::CRightVideoDlg(QWidget* owner, CoreSession& session) : RightPage(owner, session) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    using L = CKbcButton;

    add_ = makeButton(IdAdd, false, "FP\\AddFile.png", QStringLiteral("添加"), 64, 30,
                      L::LayoutCaptioned, L::BackgroundLight);
    convert_ = makeButton(IdConvert, false, "FP\\Convert.png", QStringLiteral("转码"), 64, 30,
                          L::LayoutCaptioned, L::BackgroundLight);
    delete_ = makeButton(IdDelete, false, "FP\\Delete.png", QStringLiteral("删除"), 64, 30,
                         L::LayoutCaptioned, L::BackgroundLight);
    min_ = makeButton(IdMin, false, "Comm\\Min.png", {}, 18, 18, L::LayoutCaptioned,
                      L::BackgroundLight);
    close_ = makeButton(IdClose, false, "Comm\\Close.png", {}, 18, 18, L::LayoutCaptioned,
                        L::BackgroundLight);
    checkAll_ = makeButton(IdCheckAll, true, "Setting\\Check.png", QStringLiteral("全选"), 250, 18,
                           L::LayoutWide, L::BackgroundPanel);
    checkAll_->resize(50, 18);
    // It sits on the bottom bar, whose grey is lighter than its background's.
    checkAll_->SetBackgroundColour(colorref(0xF8F8F8));
    convert_->SetInactive(true);
    delete_->SetInactive(true);

    // The lists connect first: the page's looks follow cards already drawn.
    cardList_ = new CVideoWndList(session, this);
    convertList_ = new CConvertList(session, this);
    connect(cardList_, &CVideoWndList::toastRequested, this, &CRightVideoDlg::ShowToast);
    connect(cardList_, &CVideoWndList::deleteRequested, this, &CRightVideoDlg::OnDelete);
    connect(&session, &CoreSession::toast, this, &CRightVideoDlg::ShowToast);
    connect(&session, &CoreSession::unexaminable, this, &CRightVideoDlg::onUnexaminable);
    connect(&session, &CoreSession::selectionLooks, this, &CRightVideoDlg::applySelection);
    connect(&session, &CoreSession::libraryChanged, this, &CRightVideoDlg::followCards);
    connect(&session, &CoreSession::cardChanged, this, &CRightVideoDlg::followCards);
    connect(&session, &CoreSession::conversionBalloon, this, [this](const std::string& name) {
        emit conversionFinished(QString::fromStdString(name));
    });
    connect(&session, &CoreSession::jobMessage, this,
            [this](const std::string& text) { showMessage(QString::fromStdString(text)); });

    settings_ = new CSetContentDlg(this, session);
    folderBar_ = new CSaveFolderBar(session, this);
    toast_ = new CMsgBoxDlg(this);
    connect(folderBar_, &CSaveFolderBar::refused, this, [this](const QString& text) {
        toast_->ShowText(text);
        toast_->raise();
    });

    addressMenu_ = new CMenuDlg(2, this);
    rebuildAddressMenu();
    serviceDown_ = phonesShutOut();
    connect(addressMenu_, &CMenuDlg::itemChosen, this, &CRightVideoDlg::OnAddressChosen);
    connect(addressMenu_, &CMenuDlg::dismissed, this, [this] { onAddressKey(Qt::Key_Escape); });
    connect(&session, &CoreSession::networksChanged, this, &CRightVideoDlg::onNetworksChanged);

    stateIcon_ = SkinImage::load(QStringLiteral("FP\\IPState.png"));
    addressBox_ = SkinImage::load(QStringLiteral("FP\\IPCombo.png"));

    counter_.setInterval(kCounterIntervalMs);
    connect(&counter_, &QTimer::timeout, this, &CRightVideoDlg::onCounterTick);

    convertList_->hide();
    settings_->hide();
    setUpKeyboard();
    applyViewLooks();
}

CRightVideoDlg::~CRightVideoDlg() {
    counter_.stop();
    // A switch's or the firewall's report still on its way dies with the page.
    // The views first: they hear the session until they go.
    delete convertList_;
    delete addressMenu_;
    delete settings_;
    delete cardList_;
    delete toast_;
}

void CRightVideoDlg::followCards() {
    // Many cards change at once (a selection of all, an examination): the
    // looks follow once the batch is done.
    looks_.request();
}

CKbcButton* CRightVideoDlg::makeButton(int id, bool check, const char* skin, const QString& caption,
                                       int width, int height, int layout,
                                       CKbcButton::Background background) {
    auto* b = new CKbcButton(id, check ? CKbcButton::Mode::Check : CKbcButton::Mode::Push, this);
    b->SetImage(skinPath(QString::fromLatin1(skin)), caption);
    b->SetSize(width, height);
    b->SetLayout(layout);
    b->SetBackground(background);
    b->SetUseCursor(true);
    connect(b, &CKbcButton::clicked, this, [this](int clicked) {
        switch (clicked) {
            case IdAdd:
                OnAdd();
                return;
            case IdConvert:
                OnConvert();
                return;
            case IdDelete:
                OnDelete();
                return;
            case IdMin:
                emit minimiseRequested();
                return;
            case IdClose:
                CloseRequest();
                return;
            case IdCheckAll:
                OnSelectAll();
                return;
            default:
                return;
        }
    });
    return b;
}

CKbcButton* CRightVideoDlg::button(int id) const {
    for (const QWidget* holder :
         {static_cast<const QWidget*>(this), static_cast<const QWidget*>(folderBar_)}) {
        for (CKbcButton* b : holder->findChildren<CKbcButton*>(Qt::FindDirectChildrenOnly)) {
            if (b->id() == id) return b;
        }
    }
    return nullptr;
}

QRect CRightVideoDlg::contentRect() const {
    return QRect(0, 52, width() - 4, height() - 104);
}
QRect CRightVideoDlg::deviceTextRect() const {
    return QRect(width() - 333, 17, 120, 15);
}
QRect CRightVideoDlg::addressIconRect() const {
    return QRect(width() - 223, 16, 18, 18);
}
QRect CRightVideoDlg::addressBoxRect() const {
    return QRect(width() - 205, 14, 126, 22);
}
QRect CRightVideoDlg::titleStateRect() const {
    return QRect(width() - 333, 10, 333 - 79, 30);
}

void CRightVideoDlg::Layout() {
    place();
    applyViewLooks();
    applySelection(session().selection());
    startCounter();
}

void CRightVideoDlg::resizeEvent(QResizeEvent* event) {
    RightPage::resizeEvent(event);
    place();
}

void CRightVideoDlg::place() {
    const int w = width(), h = height();
    add_->move(10, 10);
    convert_->move(84, 10);
    min_->move(w - 66, 16);
    close_->move(w - 36, 16);
    delete_->move(w - 85, h - 41);
    checkAll_->move(w - 186, h - 34);
    folderBar_->setGeometry(0, h - CSaveFolderBar::kHeight, w, CSaveFolderBar::kHeight);
    if (addressTarget_) addressTarget_->setGeometry(addressBoxRect());
    const QRect content = contentRect();
    cardList_->setGeometry(content);
    convertList_->setGeometry(content);
    settings_->setGeometry(content);
    settings_->Layout();
}

void CRightVideoDlg::SwitchView(int view) {
    view_ = view;
    applyViewLooks();
    update();
}

void CRightVideoDlg::applyViewLooks() {
    if (view_ < ViewLibrary || view_ > ViewSettings) return;
    const bool library = view_ == ViewLibrary;
    const bool convert = view_ == ViewConvert;
    cardList_->setVisible(library);
    convertList_->setVisible(convert);
    settings_->setVisible(view_ == ViewSettings);
    add_->setVisible(library);
    convert_->setVisible(library);
    // Only a library with cards has something to delete or select.
    const bool cards = cardList_->cardCount() > 0;
    delete_->setVisible(library && cards);
    checkAll_->setVisible(library && cards);
    folderBar_->setVisible(convert);
}

void CRightVideoDlg::AddDropped(const std::vector<std::string>& paths) {
    SwitchView(ViewLibrary);
    cardList_->AddDropped(paths);
}

void CRightVideoDlg::ShowToast(int code) {
    toast_->Show(code);
    toast_->raise();
}

// Broken files of one drop are examined one after another: they share the
// toast that is still up rather than stack one toast each.
void CRightVideoDlg::onUnexaminable(const std::string& name) {
    if (!toast_->showing() || toast_->code() != 0) unexaminable_.clear();
    unexaminable_.append(QString::fromStdString(name));
    QString text = QStringLiteral("无法识别的视频：") + unexaminable_.first();
    if (unexaminable_.size() > 1) text += QStringLiteral(" 等%1个").arg(unexaminable_.size());
    toast_->ShowText(text);
    toast_->raise();
}

void CRightVideoDlg::applySelection(const SelectionView& looks) {
    convert_->SetInactive(!looks.convert);
    delete_->SetInactive(!looks.actions);
    checkAll_->SetCheck(looks.allChecked);
}

void CRightVideoDlg::OnAdd() {
    cardList_->AddByDialog();
    update();
}

void CRightVideoDlg::OnConvert() {
    cardList_->QueueConversion();
}

CRightVideoDlg::DeletePrompt CRightVideoDlg::DeletePromptType() const {
    switch (session().deleteQuestion()) {
        case DeleteQuestion::None:
            return DeleteNothing;
        case DeleteQuestion::StopRunning:
            return DeleteRunning;
        case DeleteQuestion::DeleteQueued:
            return DeleteQueued;
        case DeleteQuestion::DeleteConverted:
            return DeleteConverted;
        case DeleteQuestion::Unasked:
            break;
    }
    return DeleteUnasked;
}

void CRightVideoDlg::OnDelete() {
    if (deletePrompt_) return;
    const DeletePrompt prompt = DeletePromptType();
    if (prompt == DeleteNothing) return;
    if (prompt == DeleteUnasked) {
        deleteChecked(false);
        return;
    }
    CNotifyMsgDlg::Settings settings;
    settings.deleteOrigin = session().deleteOrigin();
    deletePrompt_ = new CNotifyMsgDlg(window(), static_cast<CNotifyMsgDlg::Type>(prompt), {},
                                      std::move(settings));
    deletePrompt_->setAttribute(Qt::WA_DeleteOnClose);
    connect(deletePrompt_, &QDialog::finished, this, &CRightVideoDlg::onDeletePromptFinished);
    deletePrompt_->open();
}

void CRightVideoDlg::onDeletePromptFinished() {
    const int result = deletePrompt_ ? deletePrompt_->resultCode() : CNotifyMsgDlg::ResultNone;
    if (deletePrompt_) deletePrompt_->strips()->Destroy();
    deletePrompt_ = nullptr;  // deleted on close
    switch (result) {
        case CNotifyMsgDlg::ResultDelete:
        case CNotifyMsgDlg::ResultStopTask:
        case CNotifyMsgDlg::ResultDeleteTask:
            deleteChecked(false);
            break;
        case CNotifyMsgDlg::ResultDeleteWithSource:
            deleteChecked(true);
            break;
        default:
            break;
    }
}

void CRightVideoDlg::deleteChecked(bool withFiles) {
    session().deleteItems(withFiles);
    applyViewLooks();
    update();
}

void CRightVideoDlg::OnSelectAll() {
    // The looks follow from the library's evaluation.
    cardList_->SetAllChecked(!checkAll_->checked());
}

void CRightVideoDlg::showMessage(const QString& text) {
    if (message_) message_->close();
    auto* box = new QMessageBox(QMessageBox::Information, kTitle, text, QMessageBox::Ok, window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    message_ = box;
    box->open();
}

void CRightVideoDlg::PrepareQuit() {
    quitting_ = true;
    counter_.stop();
    hideAddressMenu();
    session().setLibraryClosing();
}

void CRightVideoDlg::startCounter() {
    if (quitting_) return;
    onCounterTick();
    counter_.start();
}

void CRightVideoDlg::onCounterTick() {
    const int count = session().connectedPhones();
    if (count == deviceCount_) return;
    deviceCount_ = count;
    // The address text changes colour with the count, so it goes too.
    update(titleStateRect());
}

CRightVideoDlg::TitleState CRightVideoDlg::titleState() const {
    return {deviceCount_, counter_.isActive(), switching(), menuOpen_, serviceDown_};
}

QString CRightVideoDlg::AllNetworksText() {
    return QStringLiteral("全部网络");
}

QString CRightVideoDlg::AllowPhonesText() {
    return QStringLiteral("允许手机连接");
}

bool CRightVideoDlg::phonesShutOut() const {
    return !session().serviceRunning() || session().networks().firewall.has_value();
}

void CRightVideoDlg::rebuildAddressMenu() {
    QStringList texts;
    for (const std::string& address : session().addresses())
        texts.push_back(QString::fromStdString(address));
    const QString pin = QString::fromStdString(session().pinnedAddress());
    // One address leaves nothing to choose, as ever, even when it is the pin
    // (--address): serving every network would serve the same one. Otherwise
    // every network can be served again from the first row.
    const bool onlyThePin = texts.size() == 1 && texts.front() == pin;
    if (session().followsNetworks() && (texts.size() > 1 || (!pin.isEmpty() && !onlyThePin)))
        texts.push_front(AllNetworksText());
    // Where the user meets the warning, the way out of it.
    if (session().networks().firewall && !openingFirewall_) texts.push_back(AllowPhonesText());
    addressMenu_->SetTexts(texts);
    addressMenu_->resize(
        126, CMenuDlg::kRowHeight * static_cast<int>(std::max<qsizetype>(1, texts.size())));
    addressMenu_->SetCurrent(session().followsNetworks() && pin.isEmpty() && texts.size() > 1
                                 ? AllNetworksText()
                                 : QString::fromStdString(session().currentAddress()));
    addressMenu_->Rebuild();
}

void CRightVideoDlg::onNetworksChanged() {
    if (quitting_) return;
    const bool wasOpen = addressMenu_->isVisible();
    rebuildAddressMenu();
    if (wasOpen && addressMenu_->items().size() <= 1) hideAddressMenu();
    serviceDown_ = !switching() && phonesShutOut();
    update(titleStateRect());
    followAddress();
}

QString CRightVideoDlg::addressToolTip() const {
    const AddressView service = session().networks();
    if (service.pinAbsent) {
        return QStringLiteral("所选地址 %1 当前不在本机，地址恢复后自动开启服务")
            .arg(QString::fromStdString(service.pin));
    }
    if (service.portsHeld) return QStringLiteral("端口被其他程序占用，正在重试");
    if (const auto& wall = service.firewall) {
        const QString what = wall->certain && !wall->zone.empty()
                                 ? QStringLiteral("防火墙 %1（区域 %2）挡住了手机连接 %3")
                                       .arg(QString::fromStdString(wall->firewall),
                                            QString::fromStdString(wall->zone),
                                            QString::fromStdString(wall->address))
                                 : QStringLiteral("防火墙 %1 已开启，可能挡住手机连接 %2")
                                       .arg(QString::fromStdString(wall->firewall),
                                            QString::fromStdString(wall->address));
        return what + QStringLiteral("\n点击地址，选择“%1”").arg(AllowPhonesText());
    }
    if (service.served.empty() && session().addresses().empty())
        return QStringLiteral("没有可用的网络，连上网络后自动开启服务");
    if (service.served.size() > 1) {
        QString text = QStringLiteral("正在服务的网络：");
        for (const ServedPlace& network : service.served) {
            text += QStringLiteral("\n") + QString::fromStdString(network.address);
            if (!network.adapter.empty())
                text += QStringLiteral(" (%1)").arg(QString::fromStdString(network.adapter));
        }
        return text;
    }
    return {};
}

bool CRightVideoDlg::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = addressBoxRect().contains(help->pos()) ? addressToolTip() : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, addressBoxRect());
        return true;
    }
    return RightPage::event(event);
}

void CRightVideoDlg::OnAddressChosen(const QString& chosen) {
    menuOpen_ = false;
    if (quitting_) return;
    if (chosen == AllowPhonesText()) {
        openFirewall();
        return;
    }
    if (switching()) {
        // Dropped: one switch at a time. The menu moved its mark to the row
        // as it was clicked; the mark goes back.
        rebuildAddressMenu();
        return;
    }
    // The first row serves every network: no pin.
    const QString address = chosen == AllNetworksText() ? QString() : chosen;
    const std::string text = address.toStdString();
    log(session(), "切换服务，IP:", text.empty() ? chosen.toStdString() : text);
    // The count is read again once the service runs at its new address.
    counter_.stop();
    switching_ = true;
    session().switchAddress(text, this, [this, text](bool succeeded) {
        onSwitchDone(QString::fromStdString(text), succeeded);
    });
    addressMenu_->SetCurrent(chosen);
    update(titleStateRect());
    followAddress();
}

void CRightVideoDlg::onSwitchDone(const QString& address, bool succeeded) {
    switching_ = false;
    const std::string text = address.toStdString();
    if (succeeded) {
        log(session(), "切换服务成功，IP:", text);
        startCounter();
        log(session(), "重启服务，IP:", text);
    } else {
        log(session(), "切换服务失败，IP:", text);
        // A refused switch (the address in use already) leaves the service
        // as it was, and its phones are still worth counting.
        startCounter();
    }
    serviceDown_ = phonesShutOut();
    update(titleStateRect());
    followAddress();
    emit addressSwitched(address, succeeded);
}

void CRightVideoDlg::openFirewall() {
    if (openingFirewall_) return;
    log(session(), "允许手机连接", {});
    openingFirewall_ = true;
    session().openFirewall(this, [this](FirewallOpening opening) {
        openingFirewall_ = false;
        const auto wall = session().networks().firewall;
        if (opening == FirewallOpening::Failed && wall) {
            showMessage(QStringLiteral("无法修改防火墙设置，请在终端中运行：\n%1")
                            .arg(QString::fromStdString(wall->command)));
        }
        rebuildAddressMenu();
    });
    // The row goes while the user is asked.
    rebuildAddressMenu();
}

void CRightVideoDlg::toggleAddressMenu() {
    overAddress_ = true;
    if (menuOpen_) {
        hideAddressMenu();
    } else {
        menuOpen_ = true;
        // One address leaves nothing to choose: the box opens, no menu comes.
        if (addressMenu_->items().size() > 1) {
            const QRect box = addressBoxRect();
            addressMenu_->move(mapToGlobal(QPoint(box.left(), box.top() + box.height())));
            addressMenu_->show();
            addressMenu_->raise();
        }
    }
    update(addressBoxRect());
}

void CRightVideoDlg::hideAddressMenu() {
    addressMenu_->hide();
    if (menuOpen_) {
        menuOpen_ = false;
        update(addressBoxRect());
    }
}

void CRightVideoDlg::hideEvent(QHideEvent* event) {
    hideAddressMenu();
    RightPage::hideEvent(event);
}

void CRightVideoDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    if (addressBoxRect().contains(at)) {
        event->accept();
        toggleAddressMenu();
        return;
    }
    hideAddressMenu();
    if (at.y() < kTitleBand) {
        event->ignore();  // on to the main window, which drags
        return;
    }
    event->accept();
}

void CRightVideoDlg::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    cardList_->setFocus(Qt::MouseFocusReason);
}

void CRightVideoDlg::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const bool inBox = addressBoxRect().contains(at);
    if (inBox != overAddress_) {
        overAddress_ = inBox;
        update(addressBoxRect());
    }
    if (!inBox) hideAddressMenu();
}

void CRightVideoDlg::leaveEvent(QEvent* event) {
    // Into the address menu, or away: the menu stays until a move or a press here.
    if (overAddress_) {
        overAddress_ = false;
        update(titleStateRect());
    }
    RightPage::leaveEvent(event);
}

void CRightVideoDlg::paintBottomBar(QPainter& painter) const {
    const int w = width(), h = height();
    painter.fillRect(QRect(0, h - kBottomBar, w, kBottomBar), colorref(0xF8F8F8));
    painter.setPen(argb(0xFFDDDDDD));
    painter.drawLine(1, h - kBottomBar, w, h - kBottomBar);
}

void CRightVideoDlg::paintEvent(QPaintEvent*) {
    const int w = width(), h = height();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(QRect(0, 0, w, kTitleBand), colorref(0xF8F8F8));
    painter.fillRect(QRect(0, kTitleBand, w, h - kTitleBand), colorref(0xF3F3F2));
    painter.setFont(skinFont(12));

    // The conversion view's bar draws itself.
    if (view_ == ViewSettings || (view_ == ViewLibrary && cardList_->cardCount() > 0))
        paintBottomBar(painter);

    painter.setPen(argb(0xFFDDDDDD));
    painter.drawLine(0, 50, w - 2, 50);
    if (deviceCount_ > 0) {
        painter.setPen(argb(0xFF767676));
        painter.drawText(deviceTextRect().translated(0, -2),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         QStringLiteral("【已连接%1台设备】").arg(deviceCount_));
    }
    stateIcon_.draw(painter, addressIconRect(),
                    QRectF(0, deviceCount_ != 0 && !serviceDown_ ? 18 : 0, 18, 18));
    if (overAddress_)
        addressBox_.draw(painter, addressBoxRect(), QRectF(0, menuOpen_ ? 22 : 0, 126, 22));
    painter.setPen(argb(serviceDown_       ? kAddressDownColour
                        : deviceCount_ > 0 ? 0xFFF19410
                                           : 0xFF3E3D42));
    const QString address = QString::fromStdString(session().currentAddress());
    painter.drawText(
        QRect(w - 200, 16, 126, 22), Qt::AlignLeft | Qt::AlignTop,
        QStringLiteral("IP: %1").arg(address.isEmpty() ? QStringLiteral("等待网络") : address));
}

void CRightVideoDlg::setUpKeyboard() {
    min_->setAccessibleName(QStringLiteral("最小化"));
    close_->setAccessibleName(QStringLiteral("关闭"));
    addressTarget_ = new CKeyTarget({}, QAccessible::ComboBox, this);
    addressTarget_->setGeometry(addressBoxRect());
    connect(addressTarget_, &CKeyTarget::activated, this, [this] {
        if (!menuOpen_ || !addressMenu_->ChooseHovered()) toggleAddressMenu();
    });
    connect(addressTarget_, &CKeyTarget::keyPressed, this, &CRightVideoDlg::onAddressKey);
    followAddress();
    // The order on screen: the title band, the view's list, the bottom bar
    // from the left.
    ChainTabs({add_, convert_, addressTarget_, min_, close_, checkAll_, delete_});
    folderBar_->SetTabAnchor(delete_);
    cardList_->SetTabAnchor(close_);
    convertList_->SetTabAnchor(close_);
}

void CRightVideoDlg::followAddress() {
    if (!addressTarget_) return;
    const QString address = QString::fromStdString(session().currentAddress());
    addressTarget_->setAccessibleName(
        QStringLiteral("服务地址：%1")
            .arg(address.isEmpty() ? QStringLiteral("等待网络") : address));
    addressTarget_->setAccessibleDescription(addressToolTip());
}

// Escape closes the address menu wherever the focus is on the page.
void CRightVideoDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || !menuOpen_) {
        RightPage::keyPressEvent(event);
        return;
    }
    event->accept();
    onAddressKey(Qt::Key_Escape);
}

void CRightVideoDlg::onAddressKey(int key) {
    if (key == Qt::Key_Escape) {
        if (!menuOpen_) return;
        hideAddressMenu();
        overAddress_ = false;
        update(addressBoxRect());
        return;
    }
    if (!menuOpen_) toggleAddressMenu();
    if (addressMenu_->isVisible()) addressMenu_->MoveHover(key == Qt::Key_Up ? -1 : 1);
}

}  // namespace zorvex::ui
