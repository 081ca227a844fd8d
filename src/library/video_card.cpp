#include "library/video_card.h"

#include "foundation/log_recorder.h"
#include "platform/file_util.h"
#include "platform/utf16_text.h"

namespace zorvex {

namespace {
constexpr const char* kLogTag = "ZorvexLibrary\\VideoCard";
}  // namespace

int CatalogueListOf(CardKind kind) {
    return kind == KIND_CONVERTED ? Catalogue::kConvertedList : Catalogue::kSourceList;
}

std::string ShortName(const std::string& name) {
    // Counted in characters, not bytes: a Chinese name is cut between characters.
    auto dot = name.rfind('.');
    std::string base = dot == std::string::npos ? std::string() : name.substr(0, dot);
    std::string extension = dot == std::string::npos ? name : name.substr(dot);
    std::size_t length = utf16Length(base);
    if (length < 9) return name;
    std::string allButLast = truncateUtf16Units(base, length - 1);
    if (allButLast.size() == base.size()) {  // a last character of two units
        allButLast = truncateUtf16Units(base, length - 2);
    }
    return truncateUtf16Units(base, 7) + "..." + base.substr(allButLast.size()) + extension;
}

bool looksLikePicture(const std::string& path) {
    auto head = readFileHead(path, 8);
    if (!head || head->size() < 4) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(head->data());
    bool jpeg = b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
    bool png = b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G';
    return jpeg || png;
}

VideoCard::VideoCard(std::string itemId, Context context, CardKind kind)
    : itemId_(std::move(itemId)),
      context_(std::move(context)),
      kind_(kind),
      examination_(*context_.examiner) {}

VideoCard::~VideoCard() {
    shutDown();
}

void VideoCard::shutDown() {
    cancelled_ = true;
    examination_.cancel();
    std::unique_ptr<ThumbnailWorker> thumbnail;
    {
        std::lock_guard lock(mutex_);
        thumbnail = std::move(thumbnailWorker_);
    }
    thumbnail.reset();  // cancels its FFmpeg and waits for its end
}

void VideoCard::SetInfo(const std::string& path, const std::string& key, const std::string& name,
                        bool inCatalogue) {
    std::lock_guard lock(mutex_);
    path_ = path;
    key_ = key;
    name_ = name;
    inCatalogue_ = inCatalogue;
}

void VideoCard::SetSource(const std::string& path) {
    if (cancelled_) return;
    sourceSet_ = true;
    {
        std::lock_guard lock(mutex_);
        path_ = path;
    }
    if (!pathExists(path)) {
        markMissing();
        examined_ = true;
        return;
    }
    if (examinationQueued_) return;  // a card is examined once
    examinationQueued_ = true;
    int list = CatalogueListOf(kind_);
    examination_.post([this, path, list] { work(path, list); });
}

void VideoCard::SetThumbnail(const std::string& thumbnailPath) {
    bool usable = looksLikePicture(thumbnailPath);
    bool registered;
    {
        std::lock_guard lock(mutex_);
        thumbnailPath_ = thumbnailPath;
        thumbUsable_ = usable;
        registered = !key_.empty();
    }
    if (!usable && registered) startThumbnail();
}

void VideoCard::markMissing() {
    if (kind_ != KIND_MISSING) previousKind_ = kind_;
    kind_ = KIND_MISSING;
}

bool VideoCard::Reexamine() {
    if (cancelled_ || kind_ != KIND_MISSING) return false;
    if (examinationQueued_ && !examined_) return false;
    examinationQueued_ = true;
    kind_ = previousKind_;
    examined_ = false;
    const std::string path = this->path();
    const int list = CatalogueListOf(kind_);
    examination_.post([this, path, list] { work(path, list); });
    return true;
}

void VideoCard::work(const std::string& path, int list) {
    std::string name = fileNamePart(path);
    bool inCatalogue;
    {
        std::lock_guard lock(mutex_);
        inCatalogue = inCatalogue_;
    }
    std::string key;
    if (!inCatalogue) {
        // The library refuses what the catalogue would: a refusal here is a
        // card no phone sees, worth a line.
        int result = context_.catalogue ? context_.catalogue->addFile(path, list, &key) : 0;
        if (result != 0) {
            PostLog(
                path + " could not be shared" +
                    (result == Catalogue::kAddNotSaved ? ": its link file cannot be written" : ""),
                kLogTag);
        }
        std::lock_guard lock(mutex_);
        key_ = key;
        name_ = name;
        path_ = path;
        // Its entry stays while the file is away: coming back re-examines, never re-adds.
        inCatalogue_ = !key.empty();
        // A refused registration has no key: such a card keeps its
        // placeholder rather than share one ".jpg" with every other.
        if (!key.empty()) thumbnailPath_ = context_.thumbnailPathFor(key);
    }
    MediaProbeResult probe = context_.probe ? context_.probe(path) : ProbeMedia(path);
    bool complete = !probe.duration.empty() && !probe.fileSize.empty() && !probe.width.empty() &&
                    !probe.height.empty();
    {
        std::lock_guard lock(mutex_);
        probe_ = probe;
    }
    if (!inCatalogue && !key.empty() && !cancelled_) startThumbnail();
    examined_ = true;
    if (!complete) PostLog(path + " could not be examined", kLogTag);
    if (!cancelled_ && context_.listener) context_.listener->onExamined(itemId_, !complete);
}

void VideoCard::startThumbnail() {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    if (thumbnailWorker_ && !thumbnailWorker_->finished()) return;
    thumbnailWorker_.reset();
    if (key_.empty() || !context_.ffmpeg) return;
    std::string target = context_.thumbnailPathFor(key_);
    thumbnailPath_ = target;
    VideoCardListener* listener = context_.listener;
    std::string itemId = itemId_;
    thumbnailWorker_ = std::make_unique<ThumbnailWorker>(
        path_, target, probe_.duration, context_.ffmpeg(),
        [listener, itemId](bool made, const std::string&) {
            if (listener) listener->onThumbnail(itemId, made);
        },
        *context_.thumbnails);
    thumbnailWorker_->start();
}

std::string VideoCard::path() const {
    std::lock_guard lock(mutex_);
    return path_;
}
std::string VideoCard::key() const {
    std::lock_guard lock(mutex_);
    return key_;
}
std::string VideoCard::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}
std::string VideoCard::thumbnailPath() const {
    std::lock_guard lock(mutex_);
    return thumbnailPath_;
}
bool VideoCard::thumbUsable() const {
    std::lock_guard lock(mutex_);
    return thumbUsable_;
}
MediaProbeResult VideoCard::probe() const {
    std::lock_guard lock(mutex_);
    return probe_;
}
bool VideoCard::inCatalogue() const {
    std::lock_guard lock(mutex_);
    return inCatalogue_;
}

}  // namespace zorvex
