#include "ui/toolkit/whole_text_box.h"

#include <algorithm>
#include <memory>

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QTextDocument>
#include <QTextEdit>
#include <QtMath>

namespace zorvex::ui {

// A selectable label that wraps anywhere, which QLabel cannot: its height
// follows the width the box gives it.
class WholeTextBox::WrappingText : public QTextEdit {
public:
    WrappingText(const QString& text, QWidget* parent) : QTextEdit(parent) {
        setPlainText(text);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewport()->setAutoFillBackground(false);  // the box's own background, as a label's
        document()->setDocumentMargin(0);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    // The widest line's width, unbroken.
    int idealWidth() const { return qCeil(laidOut(-1)->idealWidth()); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return qCeil(laidOut(width)->size().height()); }
    QSize sizeHint() const override { return {idealWidth(), heightForWidth(idealWidth())}; }
    // Narrow enough for any screen: the box sets the width itself once shown.
    QSize minimumSizeHint() const override { return {kNarrowest, heightForWidth(kNarrowest)}; }

private:
    static constexpr int kNarrowest = 200;

    // A copy of the document laid out at the width (-1: unbroken), leaving
    // the shown one as it is.
    std::unique_ptr<QTextDocument> laidOut(int width) const {
        std::unique_ptr<QTextDocument> copy(document()->clone());
        copy->setTextWidth(width);
        return copy;
    }
};

WholeTextBox::WholeTextBox(const QString& title, const QString& text, QWidget* parent)
    : QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, parent),
      text_(new WrappingText(text, this)) {
    // The label is the box's own, named by Qt; the text takes its place.
    if (QLabel* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        delete layout()->replaceWidget(label, text_);
        label->hide();
    }
}

bool WholeTextBox::event(QEvent* event) {
    // QMessageBox sizes itself when shown and on each layout request, to a
    // width of its own choosing that may be too narrow for a line. The box
    // takes the widest line instead, as far as the screen allows, and is
    // placed for that size; later layouts keep to it.
    if (event->type() == QEvent::LayoutRequest) {
        // Past QMessageBox on purpose: its own handling would resize the box.
        const bool handled = QDialog::event(event);  // NOLINT(bugprone-parent-virtual-call)
        if (isVisible()) fit();
        return handled;
    }
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::Show && isVisible() && !event->spontaneous()) {
        fit();
        adjustPosition(parentWidget());
        setAttribute(Qt::WA_Moved, false);  // as QDialog leaves it: placed, not moved
    }
    return handled;
}

void WholeTextBox::fit() {
    const int around = layout()->totalMinimumSize().width() - text_->minimumSizeHint().width();
    int width = std::max(this->width(), around + text_->idealWidth());
    if (const QScreen* shown = screen())
        width = std::min(width, shown->availableGeometry().width() - 160);
    setFixedSize(width, layout()->totalHeightForWidth(width));
    layout()->activate();
}

}  // namespace zorvex::ui
