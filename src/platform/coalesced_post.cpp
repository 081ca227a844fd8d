#include "platform/coalesced_post.h"

namespace zorvex {

void CoalescedPost::request() {
    if (state_->pending.exchange(true)) return;
    executor_.post([weak = std::weak_ptr<State>(state_)] {
        const std::shared_ptr<State> state = weak.lock();
        if (state && state->pending.exchange(false)) state->run();
    });
}

}  // namespace zorvex
