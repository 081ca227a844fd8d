#pragma once

#include <functional>
#include <string>

#include "platform/executor.h"
#include "service/catalogue_list.h"

namespace zorvex {

// What the owner's thread learns when a shared file or its thumbnail appears
// or vanishes.
struct FileStatusEvent {
    int type = 0;  // 1 or 2
    bool exists = false;
    bool hasThumbnail = false;
    std::string path;
};

// Hands catalogue changes from the link thread to the owner's thread: it only
// posts a copy to the executor, as the service calls it under its lock.
// Changes of any type but 1 and 2 are not passed on.
class FileStatusManager final : public FileStatusChangeListener {
public:
    using Receiver = std::function<void(const FileStatusEvent&)>;
    // Neither is owned; the receiver runs on the executor's thread.
    FileStatusManager(Executor& executor, Receiver receiver);

    void onFileStatusChanged(int type, bool exists, bool hasThumbnail, const std::string& name,
                             const std::string& key, const std::string& path) override;

private:
    Executor& executor_;
    const Receiver receiver_;
};

}  // namespace zorvex
