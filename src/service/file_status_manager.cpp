#include "service/file_status_manager.h"

namespace zorvex {

FileStatusManager::FileStatusManager(Executor& executor, Receiver receiver)
    : executor_(executor), receiver_(std::move(receiver)) {}

void FileStatusManager::onFileStatusChanged(int type, bool exists, bool hasThumbnail,
                                            const std::string&, const std::string&,
                                            const std::string& path) {
    if (type != LIST_SOURCE && type != LIST_CONVERTED) return;
    FileStatusEvent event{type, exists, hasThumbnail, path};
    executor_.post([receiver = receiver_, event = std::move(event)] {
        if (receiver) receiver(event);
    });
}

}  // namespace zorvex
