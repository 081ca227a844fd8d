#pragma once

#include <QFileDialog>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "library/video_library.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/scroll_pane.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {

class CKbcButton;
class CVideoWndDlg;
struct CardArt;

// The library as a grid of cards, five to a row, with the picture and the
// "添加" button while it is empty. Files and folders dropped from the desktop
// are added, "添加" opens the file dialog, and the keyboard selects all
// (Ctrl+A), asks to delete (Delete) and scrolls.
//
// It takes over the library's listener: every call is handled here (layout,
// repaints, the duplicate-name question) and then passed on to the listener
// the library had before, the application's wiring of library and queue.
// The library must outlive the list. GUI thread only: the library's executor
// must run on the GUI thread.
class CVideoWndList : public CScrollPane, private VideoLibraryListener {
    Q_OBJECT
public:
    // What the hosting page gives the list; each may be left empty.
    struct Hooks {
        std::function<void(int code)> toast;  // the page's toast (CMsgBoxDlg)
        // The looks of the page's buttons: (1, 1), (1, 0) or (2, 0).
        std::function<void(int first, int second)> buttonLooks;
        // Check marks changed by the user: a click on a card, or Ctrl+A.
        std::function<void()> selectionChanged;
        // Delete with cards checked: the page confirms and calls DeleteItems.
        std::function<void()> deleteRequested;
        // Cards came or went, or one changed its look (its kind among them).
        std::function<void()> cardsChanged;
        // A conversion finished and its output joined the library: the name
        // of the converted file, for the tray balloon.
        std::function<void(const std::string& name)> conversionBalloon;
    };

    static constexpr int kColumns = 5;
    static constexpr int kColumnPitch = 158;
    static constexpr int kRowPitch = 124;
    static constexpr int kLeft = 14;
    static constexpr int kTop = 18;

    CVideoWndList(VideoLibrary& library, QWidget* parent);
    ~CVideoWndList() override;

    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    VideoLibrary& library() { return library_; }

    // The library's operations, for the page.
    void BuildFromCatalogue() { library_.BuildFromCatalogue(); }
    int QueueConversion() { return library_.QueueConversion(); }
    void DeleteItems(bool deleteConvertedFiles = false) {
        library_.DeleteItems(deleteConvertedFiles);
    }
    void OnConversionEvent(int code, const std::string& path, const std::string& secondPath) {
        library_.OnConversionEvent(code, path, secondPath);
    }
    void setClosing() { library_.setClosing(); }

    // "添加": the open-file dialog, without blocking; the chosen files are
    // added when it is accepted. A full library shows toast 6 instead.
    void AddByDialog();
    // Files and folders (their videos, in name order); folders are read off
    // the GUI thread, then the whole drop is added as the library's one drop.
    void AddDropped(const std::vector<std::string>& paths);

    int EvaluateSelection() { return library_.EvaluateSelection(); }
    bool AllChecked() const { return library_.AllChecked(); }
    void SetAllChecked(bool on) { library_.SetAllChecked(on); }

    // Places the cards and the empty picture and button, keeping the scroll
    // position; the page calls it when it lays itself out.
    void LayoutCards();
    // Maximum: 124 x rows + 28 (the rows with 18-pixel margins) once that
    // is taller than the client, else the client height; page: the client height.
    void UpdateScrollRange();

    int cardCount() const { return static_cast<int>(order_.size()); }
    CVideoWndDlg* cardAt(int index) const;
    CVideoWndDlg* card(const std::string& itemId) const;
    CKbcButton* addButton() const { return addButton_; }
    // Where the empty picture is drawn: 380 x 240 in the middle.
    QRect pictureRect() const;
    // The grid position of card i, unscrolled.
    static QPoint cardPosition(int index);
    // The open file dialog, while one is shown.
    QFileDialog* fileDialog() const { return dialog_; }
    // Folder reads and thumbnails still on their way (for tests and benchmarks).
    int diskJobs() const { return disk_.outstanding(); }

    // The file dialog's title and filter.
    static QString dialogTitle();
    static QString dialogFilter();

protected:
    void placeChildren() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // VideoLibraryListener
    void onToast(int code) override;
    std::string onConversionRequested(const ConversionRequest& request) override;
    void onButtonLooks(int first, int second) override;
    bool removeQueuedTask(const std::string& taskKey, const std::string& path) override;
    void onPathFreed(const std::string& path) override;
    void onConversionBalloon(const std::string& name) override;
    int confirmDuplicateName(const std::string& shownName) override;
    void onLibraryChanged() override;
    void onCardChanged(const std::string& itemId) override;

    void syncCards();
    void onCardClicked(const std::string& itemId);

    VideoLibrary& library_;
    VideoLibraryListener* const next_;  // the library's listener before this list
    Hooks hooks_;
    DiskWorker disk_;
    std::shared_ptr<const CardArt> art_;
    SkinImage picture_;  // "Comm\\Add.png"
    CKbcButton* addButton_ = nullptr;
    std::map<std::string, CVideoWndDlg*> cards_;  // by item id; children of the viewport
    std::vector<CVideoWndDlg*> order_;            // library order
    QPointer<QFileDialog> dialog_;
    QString lastFolder_;  // where the dialog opens next: the folder chosen from last time
};

// The paths of a drop: files as they are, and for every folder the accepted
// videos directly inside it, in name order. emptyFolder: a folder gave none.
struct DroppedPaths {
    std::vector<std::string> files;
    bool emptyFolder = false;
};
DroppedPaths ExpandDrop(const std::vector<std::string>& paths);

}  // namespace zorvex::ui
