// zorvex-gallery OUT.png [--parts]
// Renders every skinned control in every state, both dialogs of every type and
// the whole skin into one image, so the skin can be reviewed at a glance.
// --parts also writes each section as OUT-<n>.png.
#include <QApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "gallery_page.h"

using namespace zorvex::ui::gallery;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: zorvex-gallery OUT.png [--parts]\n");
        return 2;
    }
    const QString& out = args[1];
    const bool parts = args.contains(QStringLiteral("--parts"));

    const std::vector<std::pair<QString, QImage>> contents = {
        {QStringLiteral("主窗口 · main window with its shadow strips"), mainWindowSection()},
        {QStringLiteral("CKbcButton · normal, hover, pressed, inactive / checked"),
         buttonsSection()},
        {QStringLiteral("CMyProgressBar · CGIFImage · CMenuDlg · CMsgBoxDlg"),
         smallControlsSection()},
        {QStringLiteral("CNotifyMsgDlg · types 1 to 5"), dialogsSection()},
        {QStringLiteral("SkinRes"), skinSection()},
    };
    int widest = 0;
    for (const auto& [title, content] : contents) widest = std::max(widest, content.width());
    std::vector<QImage> sections;
    sections.reserve(contents.size());
    for (const auto& [title, content] : contents)
        sections.push_back(titled(title, content, widest));
    int width = 0, height = 0;
    for (const QImage& s : sections) {
        width = std::max(width, s.width());
        height += s.height();
    }
    QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0xE6, 0xE7, 0xE9));
    QPainter painter(&sheet);
    int y = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        painter.drawImage(0, y, sections[i]);
        y += sections[i].height();
        if (parts) {
            const QString name = QString(out).replace(QStringLiteral(".png"), QString()) +
                                 QStringLiteral("-%1.png").arg(i + 1);
            sections[i].save(name);
        }
    }
    painter.end();
    if (!sheet.save(out)) {
        std::fprintf(stderr, "zorvex-gallery: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
