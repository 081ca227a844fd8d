#pragma once

#include <QFileDialog>
#include <QPointer>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/session/core_session.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/scroll_pane.h"
#include "ui/toolkit/skin.h"

class QMimeData;

namespace zorvex::ui {

class CKbcButton;
class CVideoWndDlg;
struct CardArt;

// The library as a grid of cards, five to a row, with the picture and the
// "添加" button while it is empty. Files and folders dropped from the desktop
// are added, "添加" opens the file dialog, and the keyboard selects all
// (Ctrl+A), asks to delete (Delete) and scrolls. The grid is one Tab stop,
// as an item view is: Tab reaches its current card (the one last focused or
// clicked, at first the first) and leaves the grid from there. Inside it the
// arrows move by a card and by a row (Down into a shorter last row lands on
// its last card), Home and End go to the first and the last card, Page Up
// and Page Down by the rows a page shows; the card with the focus is
// scrolled into view.
//
// It follows the library through the session (the cards come and go with
// it, repaint when they change) and answers the library's duplicate-name
// question. The session must outlive the list. GUI thread only.
class CVideoWndList : public CScrollPane {
    Q_OBJECT
public:
    static constexpr int kColumns = 5;
    static constexpr int kColumnPitch = 158;
    static constexpr int kRowPitch = 124;
    static constexpr int kLeft = 14;
    static constexpr int kTop = 18;

    CVideoWndList(CoreSession& session, QWidget* parent);
    ~CVideoWndList() override;

    // "添加": the open-file dialog, without blocking; the chosen files are
    // added when it is accepted. A full library shows toast 6 instead.
    void AddByDialog();
    // Files and folders (their videos, in name order); folders are read off
    // the GUI thread, then the whole drop is added as the library's one drop.
    void AddDropped(const std::vector<std::string>& paths);

    // "转码" over the checked cards; each duplicate output name asks in turn
    // (CNotifyMsgDlg), and its answer takes the batch on.
    void QueueConversion();
    bool AllChecked() const { return session_.allChecked(); }
    void SetAllChecked(bool on) { session_.setAllChecked(on); }

    // Places the cards and the empty picture and button, keeping the scroll
    // position; the page calls it when it lays itself out.
    void LayoutCards();
    // Maximum: 124 x rows + 28 (the rows with 18-pixel margins) once that
    // is taller than the client, else the client height; page: the client height.
    void UpdateScrollRange();

    int cardCount() const { return static_cast<int>(order_.size()); }
    CVideoWndDlg* cardAt(int index) const;
    CVideoWndDlg* card(const std::string& itemId) const;
    // The card Tab comes to; null while the library is empty.
    CVideoWndDlg* currentCard() const { return card(current_); }
    CKbcButton* addButton() const { return addButton_; }
    // Where the empty picture is drawn: 380 x 240 in the middle.
    QRect pictureRect() const;
    // The grid position of card i, unscrolled.
    static QPoint cardPosition(int index);
    // The open file dialog, while one is shown.
    QFileDialog* fileDialog() const { return dialog_; }
    // Folder reads and thumbnails still on their way (for tests and benchmarks).
    int diskJobs() const { return disk_.outstanding(); }

    // Tab comes to the cards from this widget (the page's last title button).
    void SetTabAnchor(QWidget* anchor) { tabAnchor_ = anchor; }

    // The file dialog's title and filter.
    static QString dialogTitle();
    static QString dialogFilter();

signals:
    // Check marks changed by the user: a click on a card, or Ctrl+A.
    void selectionChanged();
    // Delete with cards checked: the page confirms and deletes.
    void deleteRequested();
    // A toast of the list's own (a dropped folder without videos).
    void toastRequested(int code);

protected:
    void placeChildren() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void syncCards();
    void onCardChanged(const std::string& itemId);
    void logPress(const std::string& path, bool examined);
    void onCardClicked(const std::string& itemId);
    DuplicateChoice askDuplicateName(const std::string& shownName);
    void orderTabs();
    // Makes card the grid's one Tab stop.
    void setCurrent(CVideoWndDlg* card);
    bool moveCardFocus(int key);
    // Where a key moves the focus from card index `from`; -1: nowhere.
    int keyTarget(int from, int key) const;
    void showCard(const std::string& itemId);

    CoreSession& session_;
    DiskWorker disk_;
    std::shared_ptr<const CardArt> art_;
    SkinImage picture_;  // "Comm\\Add.png"
    CKbcButton* addButton_ = nullptr;
    std::map<std::string, CVideoWndDlg*> cards_;  // by item id; children of the viewport
    std::vector<CVideoWndDlg*> order_;            // library order
    QPointer<QFileDialog> dialog_;
    QString lastFolder_;  // where the dialog opens next: the folder chosen from last time
    QPointer<QWidget> tabAnchor_;
    std::string current_;  // item id of the card Tab comes to
};

// The local files and folders a drag carries.
std::vector<std::string> DroppedFiles(const QMimeData* data);

}  // namespace zorvex::ui
