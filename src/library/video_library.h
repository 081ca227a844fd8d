#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "library/catalogue.h"
#include "library/relation_file.h"
#include "library/video_card.h"
#include "platform/executor.h"

namespace zorvex {

// One library item: the card and the library's copies of its texts.
struct VIDEOINFO_ST {
    std::string path;
    std::string key;
    std::string name;
    std::string itemId;      // "{XXXXXXXX-...}"
    std::string outputName;  // a numbered output name chosen for a conversion
    std::string taskKey;     // the conversion task of this source, "" when none was asked
    std::shared_ptr<VideoCard> card;
};

// The seven texts of a conversion request, in the order the queue takes them.
struct ConversionRequest {
    std::string sourcePath, thumbnailPath, name, size, duration, width, height;
};

inline constexpr int kLibraryLimit = 70;
// Thumbnail FFmpegs running at once; the rest wait their turn.
inline constexpr int kThumbnailsAtOnce = 2;
inline constexpr std::size_t kMaxNameCharacters = 60;

// Toast codes of the library.
enum LibraryToast {
    TOAST_EXISTS = 2,
    TOAST_NOT_VIDEO = 4,
    TOAST_NAME_TOO_LONG = 5,
    TOAST_FULL = 6
};
// The page's buttons a selection sets: the first number of onButtonLooks.
enum LooksTarget { LOOKS_CONVERT = 1, LOOKS_CONVERT_AND_DELETE = 2 };
// Results of the duplicate-name confirmation.
enum DuplicateAnswer { ANSWER_CONTINUE = 30, ANSWER_SKIP = 31, ANSWER_CLOSED = 42 };

// What the library asks of the page that hosts it; called on the library's thread.
class VideoLibraryListener {
public:
    virtual ~VideoLibraryListener() = default;
    virtual void onToast(int code) = 0;
    // Returns the new task's key; "" when no task was made.
    virtual std::string onConversionRequested(const ConversionRequest& request) = 0;
    // The page's buttons: (LOOKS_CONVERT, 1) convert active,
    // (LOOKS_CONVERT, 0) convert inactive, (LOOKS_CONVERT_AND_DELETE, 0)
    // convert and delete inactive.
    virtual void onButtonLooks(int first, int second) = 0;
    // Drops the queued task of a video, by its key (or, without one, by the
    // source path); true when the task is gone or stopping.
    virtual bool removeQueuedTask(const std::string& taskKey, const std::string& path) = 0;
    virtual void onConversionBalloon(const std::string& name) = 0;
    // The duplicate-name question for a (shortened) name.
    virtual DuplicateAnswer confirmDuplicateName(const std::string& shownName) = 0;
    // Items were added, removed or reordered: lay the cards out again.
    virtual void onLibraryChanged() = 0;
    // One card's look changed.
    virtual void onCardChanged(const std::string& itemId) = 0;
    // A file that could not be examined as a video left the library (its name).
    virtual void onUnexaminable(const std::string& /*name*/) {}
};

struct VideoLibraryContext {
    Catalogue* catalogue = nullptr;  // not owned; null: nothing is shared
    Executor* executor = nullptr;    // the library's thread
    VideoLibraryListener* listener = nullptr;
    std::string relationFile;  // VideoRelation.xml in the home folder
    std::function<std::string()> convertFolder;
    std::function<FfmpegTool()> ffmpeg;
    std::function<std::string(const std::string& key)> thumbnailPathFor;
    // The media probe, called on the cards' workers; ProbeMedia when empty.
    std::function<MediaProbeResult(const std::string& path)> probe;
};

// The user's videos as cards in display order, and the relations of
// converted videos to their sources. Everything here runs on the executor's
// thread; the cards' workers report back through it.
//
// Examination: the cards that have not been examined are handed their path
// one at a time, in library order; the report of one starts the next, until
// none is left or the library is closing.
class VideoLibrary final : private VideoCardListener {
public:
    explicit VideoLibrary(VideoLibraryContext context);
    ~VideoLibrary() override;  // stops the examination, then frees every card

    // A VideoRelation.xml that cannot be read is renamed to
    // "VideoRelation.xml.damaged-YYYYMMDD-HHMMSS" (and logged); the relation
    // list then starts with the whole items before the damage, saved at once.
    void LoadRelations();
    bool SaveRelations();

    void BuildFromCatalogue();
    void AddDropped(const std::vector<std::string>& paths);
    // The files chosen in the open dialog; false (toast 6) when the library is full.
    bool AddByDialog(const std::vector<std::string>& paths);
    // Over the checked cards; true when at least one task was requested.
    bool QueueConversion();
    void OnConversionEvent(int code, const std::string& path, const std::string& secondPath);
    // The checked cards; with deleteConvertedFiles the files of converted
    // cards go from the disk too (the prompt's "彻底删除源文件").
    void DeleteItems(bool deleteConvertedFiles = false);

    // A shared file is servable again (the catalogue saw it while a phone
    // asked): a missing card of that path becomes what it was, examined
    // again and with its thumbnail. Other news changes nothing.
    void OnFileStatus(const std::string& path, bool exists);
    // The same for every missing card whose file is back (a stat each).
    void RecheckMissing();

    bool HasConversionRecord(const std::string& path) const;

    int EvaluateSelection();
    bool AllChecked() const;
    void SetAllChecked(bool on);
    // A click on an examined card.
    void ToggleChecked(const std::string& itemId);

    // The library's listener (the context's, at first). A window that draws
    // the library puts itself in front of it and hands every call on.
    VideoLibraryListener* listener() const { return context_.listener; }
    void setListener(VideoLibraryListener* listener) { context_.listener = listener; }

    void setClosing() { closing_ = true; }
    // True while a card handed over by the examination has not reported.
    bool examining() const { return examining_.load(); }

    std::vector<VIDEOINFO_ST> items() const;
    std::shared_ptr<VideoCard> card(const std::string& itemId) const;
    const std::vector<VIDEO_RELATION_ST>& relations() const { return relations_; }

private:
    void onExamined(const std::string& itemId, bool unexaminable) override;
    void onThumbnail(const std::string& itemId, bool made) override;

    VIDEOINFO_ST& appendItem(const std::string& path, int kind, std::size_t at);
    std::shared_ptr<VideoCard> makeCard(const std::string& itemId, int kind);
    void startExamination();
    void examineNext();
    void resumeExamination();
    void DeleteUnexaminable(const std::string& itemId);
    void comeBack(const std::string& itemId, const std::shared_ptr<VideoCard>& card);
    void removeFromCatalogue(int list, const std::string& path);
    void dropRelationOf(const std::string& targetPath);
    std::vector<VIDEOINFO_ST>::iterator findByPath(const std::string& path);
    // Cards whose video is (or was, for a missing card) in the catalogue list.
    std::size_t countInList(int list) const;
    // A file of this name in the conversion folder, or a task's output to be.
    bool outputTaken(const std::string& name, const std::vector<std::string>& claimed) const;
    std::string uniqueOutputName(const std::string& name,
                                 const std::vector<std::string>& claimed) const;
    // One checked card of QueueConversion; sent: the cards sent before it.
    enum class QueueStep { Sent, Skipped, Closed };
    QueueStep queueOne(const VIDEOINFO_ST& item, const std::vector<std::string>& sent);
    void skipConversion(const VIDEOINFO_ST& item);
    // Waiting, converting, or sent by this QueueConversion.
    bool inFlight(const VIDEOINFO_ST& item, const std::vector<std::string>& sent) const;
    std::vector<std::string> claimedOutputs(const std::vector<std::string>& sent) const;
    // The toast that refuses a conversion to outputPath, 0 when it may run.
    int conversionRefusal(const std::string& outputPath,
                          const std::vector<std::string>& sent) const;
    // The toast that refuses sharing path in list, 0 when it may be shared.
    int shareRefusal(const std::string& path, int list) const;
    int addRefusal(const std::string& path);
    void toast(int code);
    void post(std::function<void(VideoLibrary&)> task);

    VideoLibraryContext context_;
    // Before the items: the cards' workers use it until they are joined.
    ThumbnailSlots thumbnailSlots_{kThumbnailsAtOnce};
    mutable std::mutex itemsMutex_;  // the examination thread reads the list
    std::vector<VIDEOINFO_ST> items_;
    std::vector<VIDEO_RELATION_ST> relations_;
    std::atomic<bool> closing_{false};
    std::string examinedId_;              // the card the examination waits for; "" when none
    std::vector<std::string> returning_;  // cards examined again since their file came back
    std::atomic<bool> examining_{false};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The extension list of a drop: exact and case-sensitive.
bool IsAcceptedVideoName(const std::string& name);

}  // namespace zorvex
