#include "platform/process_limits.h"

#include <sys/resource.h>

#include <algorithm>
#include <limits>

namespace zorvex {

namespace {

constexpr std::size_t kUnlimited = std::numeric_limits<int>::max();

std::size_t counted(rlim_t value) {
    return value == RLIM_INFINITY ? kUnlimited
                                  : static_cast<std::size_t>(std::min<rlim_t>(value, kUnlimited));
}

}  // namespace

std::size_t raiseDescriptorLimit(std::size_t cap) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return descriptorLimit();
    rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? cap : std::min<rlim_t>(limit.rlim_max, cap);
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return counted(limit.rlim_cur);
    limit.rlim_cur = wanted;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    return descriptorLimit();
}

std::size_t descriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    return counted(limit.rlim_cur);
}

}  // namespace zorvex
