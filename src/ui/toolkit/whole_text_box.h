#pragma once

#include <QMessageBox>

namespace zorvex::ui {

// An information box whose text is read whole however long its lines are,
// such as a file path wider than the screen. The box grows to its widest
// line, up to the screen's available width less 160 pixels; past that a line
// wraps where a line may break (after '/' or '-', beside a Chinese character)
// and anywhere within a longer run. The text can be selected and copied, and
// a copy holds exactly the text given: no break is inserted into it.
// GUI thread only.
class WholeTextBox : public QMessageBox {
public:
    WholeTextBox(const QString& title, const QString& text, QWidget* parent);

protected:
    bool event(QEvent* event) override;

private:
    void fit();

    class WrappingText;
    WrappingText* text_;
};

}  // namespace zorvex::ui
