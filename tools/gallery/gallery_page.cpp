#include "gallery_page.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <memory>
#include <vector>

#include "ui/toolkit/client_frame_dlg.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/gif_image.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/menu_dlg.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/toolkit/my_progress_bar.h"
#include "ui/toolkit/notify_msg_dlg.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui::gallery {
namespace {

const QColor kLabel(0x5B, 0x5C, 0x62);
const QColor kSheet(0xE6, 0xE7, 0xE9);

void label(QPainter& painter, const QRect& box, const QString& text, int px = 12,
           int flags = Qt::AlignLeft | Qt::AlignVCenter) {
    painter.setFont(skinFont(px));
    painter.setPen(kLabel);
    painter.drawText(box, flags, text);
}

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(kSheet);
    return image;
}

struct ButtonSetup {
    QString note;
    bool check;
    QString skin;
    QString caption;
    QSize size;   // given to SetSize
    QRect place;  // the window rectangle when it differs from size
    int layout;
    int background;  // a CKbcButton::Background, as the tables give it
    QSize cell;
    QColor around;  // the page colour behind the button
};

// Sends the events that put a button in one of its looks; look 3 is inactive
// for push buttons and checked for check buttons.
QImage buttonLook(const ButtonSetup& setup, int look) {
    CKbcButton button(1, setup.check ? CKbcButton::Mode::Check : CKbcButton::Mode::Push, nullptr);
    button.SetImage(setup.skin.isEmpty() ? QString() : skinPath(setup.skin), setup.caption);
    button.SetSize(setup.size.width(), setup.size.height());
    button.SetLayout(setup.layout);
    button.SetBackground(static_cast<CKbcButton::Background>(setup.background));
    button.SetCellSize(setup.cell.width(), setup.cell.height());
    if (!setup.place.isEmpty()) button.resize(setup.place.size());
    const QPointF centre(button.width() / 2.0, button.height() / 2.0);
    if (look == 1) {
        QEnterEvent enter(centre, centre, centre);
        QCoreApplication::sendEvent(&button, &enter);
    } else if (look == 2) {
        QMouseEvent press(QEvent::MouseButtonPress, centre, centre, centre, Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &press);
    } else if (look == 3) {
        if (setup.check)
            button.SetCheck(true);
        else
            button.SetInactive(true);
    }
    QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(setup.around);
    QPainter painter(&image);
    painter.drawImage(0, 0, grabWidget(button));
    return image;
}

QImage tile(const QImage& image, int pad, const QColor& fill) {
    QImage out(image.width() + 2 * pad, image.height() + 2 * pad,
               QImage::Format_ARGB32_Premultiplied);
    out.fill(fill);
    QPainter painter(&out);
    painter.drawImage(pad, pad, image);
    return out;
}

}  // namespace

QImage grabWidget(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage titled(const QString& title, const QImage& content, int width) {
    QImage out = blank(std::max(content.width(), width), content.height() + 56);
    QPainter painter(&out);
    painter.fillRect(QRect(0, 0, out.width(), 40), QColor(0x3E, 0x3D, 0x42));
    painter.fillRect(QRect(0, 37, out.width(), 3), QColor(0xEE, 0x8E, 0x31));
    painter.setFont(skinFont(16));
    painter.setPen(Qt::white);
    painter.drawText(QRect(20, 0, out.width() - 40, 37), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.drawImage(0, 56, content);
    return out;
}

QImage buttonsSection() {
    const QColor band(0xF8, 0xF8, 0xF8), panel(0xF2, 0xF3, 0xF3), column(0x3E, 0x3D, 0x42),
        title(0x57, 0x56, 0x5B);
    const std::vector<ButtonSetup> setups = {
        {"FP\\AddFile · layout 0", false, "FP\\AddFile.png", "添加", {64, 30}, {}, 0, 2, {}, band},
        {"FP\\Convert · layout 0", false, "FP\\Convert.png", "转码", {64, 30}, {}, 0, 2, {}, band},
        {"FP\\Delete · layout 0", false, "FP\\Delete.png", "删除", {64, 30}, {}, 0, 2, {}, band},
        {"FP\\Group_a · layout 0", false, "FP\\Group_a.png", "分组", {64, 30}, {}, 0, 2, {}, band},
        {"FP\\Group_b · layout 0", false, "FP\\Group_b.png", "同组", {64, 30}, {}, 0, 2, {}, band},
        {"Comm\\AddFile · layout 0",
         false,
         "Comm\\AddFile.png",
         "添加",
         {64, 30},
         {},
         0,
         2,
         {},
         band},
        {"Comm\\Min · layout 0", false, "Comm\\Min.png", "", {18, 18}, {}, 0, 2, {}, band},
        {"Comm\\Close · layout 0", false, "Comm\\Close.png", "", {18, 18}, {}, 0, 2, {}, band},
        {"Msg\\Close · layout 0, bg 3", false, "Msg\\Close.png", "", {24, 24}, {}, 0, 3, {}, title},
        {"Msg\\Button 确认 · layout 3",
         false,
         "Msg\\Button.png",
         "确认",
         {90, 30},
         {},
         3,
         2,
         {},
         panel},
        {"Msg\\Button 跳过 · layout 3",
         false,
         "Msg\\Button.png",
         "跳过",
         {90, 30},
         {},
         3,
         2,
         {},
         panel},
        {"Msg\\RunHide · layout 3",
         false,
         "Msg\\RunHide.png",
         "后台运行",
         {90, 30},
         {},
         3,
         2,
         {},
         panel},
        {"完全退出 · layout 6", false, "", "完全退出", {90, 30}, {}, 6, 6, {}, panel},
        {"置顶 · layout 6", false, "", "置顶", {35, 20}, {}, 6, 1, {}, panel},
        {"Setting\\Button 修改 · layout 4",
         false,
         "Setting\\Button.png",
         "修改",
         {70, 26},
         {},
         4,
         1,
         {90, 30},
         panel},
        {"Setting\\Button 检测更新 · layout 4",
         false,
         "Setting\\Button.png",
         "检测更新",
         {70, 26},
         {},
         4,
         1,
         {90, 30},
         panel},
        {"Convert\\CleanBtn · layout 5",
         false,
         "Convert\\CleanBtn.png",
         "清空已完成",
         {86, 16},
         {},
         5,
         8,
         {16, 16},
         band},
        {"Convert\\Close 取消 · layout 7",
         false,
         "Convert\\Close.png",
         "取消",
         {64, 30},
         {},
         7,
         6,
         {64, 30},
         panel},
        {"Convert\\Close 删除 · layout 7",
         false,
         "Convert\\Close.png",
         "删除",
         {64, 30},
         {},
         7,
         6,
         {64, 30},
         panel},
        {"Msg\\Check 不再提示 · check",
         true,
         "Msg\\Check.png",
         "不再提示",
         {250, 18},
         {18, 260, 150, 30},
         0,
         1,
         {},
         panel},
        {"Msg\\Check 彻底删除源文件 · check",
         true,
         "Msg\\Check.png",
         "彻底删除源文件",
         {250, 18},
         {},
         0,
         1,
         {},
         panel},
        {"Setting\\Check 全选 · check",
         true,
         "Setting\\Check.png",
         "全选",
         {250, 18},
         {0, 0, 50, 18},
         3,
         1,
         {},
         band},
        {"Setting\\Radio · check",
         true,
         "Setting\\Radio.png",
         "1080P画质 (1K及以下手机)",
         {200, 18},
         {},
         0,
         1,
         {},
         panel},
        {"Setting\\Check · check",
         true,
         "Setting\\Check.png",
         "有任务时电脑不自动休眠(推荐开启)",
         {250, 18},
         {},
         0,
         1,
         {},
         panel},
        {"FP\\FlyScreen · check, bg 4",
         true,
         "FP\\FlyScreen.png",
         "飞屏",
         {160, 48},
         {},
         2,
         4,
         {},
         column},
        {"LeftMenu\\Setting · check, bg 4",
         true,
         "LeftMenu\\Setting.png",
         "设置",
         {160, 48},
         {},
         2,
         4,
         {},
         column},
    };
    constexpr int kNoteWidth = 250, kColumn = 290, kGap = 14;
    int height = 30;
    for (const ButtonSetup& s : setups)
        height +=
            std::max(s.place.isEmpty() ? s.size.height() : s.place.height(), 20) + 2 * 6 + kGap - 6;
    QImage out = blank(kNoteWidth + 4 * kColumn + 20, height);
    QPainter painter(&out);
    const char* heads[] = {"normal", "hover", "pressed", "inactive · checked"};
    for (int i = 0; i < 4; ++i)
        label(painter, QRect(kNoteWidth + i * kColumn, 0, kColumn, 24),
              QString::fromUtf8(heads[i]));
    int y = 30;
    for (const ButtonSetup& s : setups) {
        int rowHeight = 0;
        for (int look = 0; look < 4; ++look) {
            const QImage cell = tile(buttonLook(s, look), 6, s.around);
            painter.drawImage(kNoteWidth + look * kColumn, y, cell);
            rowHeight = cell.height();
        }
        label(painter, QRect(20, y, kNoteWidth - 24, rowHeight), s.note);
        y += rowHeight + kGap - 6;
    }
    return out;
}

QImage smallControlsSection() {
    QImage out = blank(1180, 600);
    QPainter painter(&out);
    // Progress bars at the two sizes the pages use.
    int y = 10;
    for (int position : {0, 37, 100}) {
        CMyProgressBar small(nullptr);
        small.resize(142, 8);
        small.SetRange(0, 100);
        small.SetPos(position);
        CMyProgressBar large(nullptr);
        large.resize(326, 10);
        large.SetRange(0, 100);
        large.SetPos(position);
        label(painter, QRect(20, y - 4, 60, 18), QStringLiteral("%1 %").arg(position));
        painter.drawImage(80, y, tile(grabWidget(small), 0, Qt::white));
        painter.drawImage(250, y - 1, tile(grabWidget(large), 0, Qt::white));
        y += 26;
    }
    // GIF frames: the card badge (kind 2) and the menu entry (kind 0).
    label(painter, QRect(20, 100, 300, 18),
          QStringLiteral("FP\\Coning.gif · kind 2, frames 0, 2, 4, 6, 8"));
    label(painter, QRect(20, 160, 400, 18),
          QStringLiteral("LeftMenu\\ConvertList.gif · kind 0, frames 0, 3, 6, 9"));
    for (int i = 0; i < 5; ++i) {
        CGIFImage gif(nullptr);
        gif.resize(50, 16);
        gif.Load(skinPath(QStringLiteral("FP\\Coning.gif")));
        gif.SetKind(2);
        gif.ShowFrame(i * 2);
        painter.drawImage(20 + i * 66, 124, tile(grabWidget(gif), 4, QColor(0x8E, 0x93, 0x9A)));
    }
    for (int i = 0; i < 4; ++i) {
        CGIFImage gif(nullptr);
        gif.resize(160, 48);
        gif.Load(skinPath(QStringLiteral("LeftMenu\\ConvertList.gif")));
        gif.ShowFrame(i * 3);
        painter.drawImage(20 + i * 170, 184, grabWidget(gif));
    }
    // The address menu: resting, hovering another row, hovering the current row.
    label(painter, QRect(720, 0, 400, 18),
          QStringLiteral("CMenuDlg · style 2: resting, hover, hover on current"));
    for (int i = 0; i < 3; ++i) {
        CMenuDlg menu(2, nullptr);
        menu.SetTexts({QStringLiteral("192.168.1.23"), QStringLiteral("10.0.0.8"),
                       QStringLiteral("127.0.0.1")});
        menu.resize(126, 22 * 3);
        menu.SetCurrent(QStringLiteral("10.0.0.8"));
        menu.Rebuild();
        if (i > 0) {
            const QPointF at(60, i == 1 ? 55 : 33);
            QMouseEvent move(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(&menu, &move);
        }
        painter.drawImage(720 + i * 146, 24, grabWidget(menu));
    }
    // Toasts at their full opacity over a page.
    label(painter, QRect(720, 110, 400, 18),
          QStringLiteral("CMsgBoxDlg · codes 2 and 6 at opacity 220"));
    int x = 720;
    for (int code : {2, 6}) {
        CMsgBoxDlg toast(nullptr);
        toast.Show(code);
        QElapsedTimer clock;
        clock.start();
        while (toast.alpha() < 220 && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QImage page(335, 100, QImage::Format_ARGB32_Premultiplied);
        page.fill(QColor(0xF2, 0xF3, 0xF3));
        QPainter on(&page);
        on.drawImage(10, 10, grabWidget(toast));
        on.end();
        toast.hide();
        painter.drawImage(x, 134 + (code == 6 ? 110 : 0), page);
    }
    // The empty library: the picture and the add button centred in the list.
    label(painter, QRect(20, 250, 600, 18),
          QStringLiteral("Comm\\Add.png · Comm\\AddFile.png · the empty card list"));
    QImage list(660, 300, QImage::Format_ARGB32_Premultiplied);
    list.fill(QColor(242, 243, 243));
    QPainter on(&list);
    const QPoint middle(list.width() / 2, list.height() / 2);
    on.drawImage(QRect(middle - QPoint(190, 120), QSize(380, 240)),
                 loadSkinImage(QStringLiteral("Comm\\Add.png")));
    CKbcButton add(1081, CKbcButton::Mode::Push, nullptr);
    add.SetImage(skinPath(QStringLiteral("Comm\\AddFile.png")), QStringLiteral("添加"));
    add.SetSize(64, 30);
    add.SetBackground(CKbcButton::BackgroundLight);
    on.drawImage(middle + QPoint(5, 66), grabWidget(add));
    on.end();
    painter.drawImage(20, 274, list);
    return out;
}

QImage dialogsSection() {
    constexpr int kMargin = 24;
    constexpr int kCellW = 460 + 2 * kMargin, kCellH = 300 + 2 * kMargin + 24;
    QImage out = blank(3 * kCellW + 20, 2 * kCellH + 10);
    QPainter painter(&out);
    for (int type = 1; type <= 5; ++type) {
        CNotifyMsgDlg::Settings settings;
        settings.deleteOrigin = type == 1;
        CNotifyMsgDlg dialog(nullptr, static_cast<CNotifyMsgDlg::Type>(type),
                             QStringLiteral("holiday_in_rome.mp4"), settings);
        const int col = (type - 1) % 3, row = (type - 1) / 3;
        const QPoint origin(10 + col * kCellW + kMargin, row * kCellH + kMargin + 24);
        label(painter, QRect(origin.x() - 8, origin.y() - 40, 400, 18),
              QStringLiteral("type %1 · %2").arg(type).arg(dialog.title()));
        // The shadow strips as the dialog places them, then the dialog over them.
        const QRect client(origin, QSize(460, 300));
        const auto rects = FrameStrips::placement(client, FrameStrips::kConfirmation);
        for (int kind = 1; kind <= 4; ++kind) {
            CClientFrameDlg* piece = dialog.strips()->piece(kind);
            piece->resize(rects[static_cast<std::size_t>(kind - 1)].size());
            painter.drawImage(rects[static_cast<std::size_t>(kind - 1)].topLeft(),
                              grabWidget(*piece));
        }
        painter.drawImage(origin, grabWidget(dialog));
    }
    return out;
}

QImage skinSection() {
    const QString root =
        QFileInfo(skinPath(QStringLiteral("Comm\\1.png"))).absolutePath() + QStringLiteral("/..");
    QStringList files;
    QDirIterator it(root, {QStringLiteral("*.png"), QStringLiteral("*.gif")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(root).relativeFilePath(it.next());
    files.sort();
    constexpr int kWidth = 1400, kMaxW = 320, kMaxH = 160;
    // Lay the tiles out in rows, each tile as wide as its image (scaled down to fit).
    QImage out = blank(kWidth, 4000);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    int x = 20, y = 0, rowHeight = 0;
    for (const QString& file : files) {
        QImage image = QImageReader(root + QLatin1Char('/') + file).read();
        if (image.isNull()) continue;
        QSize shown = image.size();
        if (shown.width() > kMaxW || shown.height() > kMaxH)
            shown.scale(kMaxW, kMaxH, Qt::KeepAspectRatio);
        shown = shown.expandedTo(QSize(1, 1));
        const int w = std::max(shown.width(), 110) + 16;
        const int h = shown.height() + 40;
        if (x + w > kWidth - 20) {
            x = 20;
            y += rowHeight + 10;
            rowHeight = 0;
        }
        // A light check pattern shows which parts of the art are transparent.
        for (int cy = 0; cy < shown.height(); cy += 8)
            for (int cx = 0; cx < shown.width(); cx += 8)
                painter.fillRect(
                    QRect(x + 8 + cx, y + 8 + cy, std::min(8, shown.width() - cx),
                          std::min(8, shown.height() - cy)),
                    (cx / 8 + cy / 8) % 2 ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xDD, 0xDE, 0xE1));
        painter.drawImage(QRect(QPoint(x + 8, y + 8), shown), image);
        label(painter, QRect(x, y + shown.height() + 12, w, 16), file, 11,
              Qt::AlignLeft | Qt::AlignTop);
        label(painter, QRect(x, y + shown.height() + 25, w, 14),
              QStringLiteral("%1 × %2").arg(image.width()).arg(image.height()), 10,
              Qt::AlignLeft | Qt::AlignTop);
        x += w + 10;
        rowHeight = std::max(rowHeight, h);
    }
    painter.end();
    return out.copy(0, 0, kWidth, y + rowHeight + 10);
}

}  // namespace zorvex::ui::gallery
