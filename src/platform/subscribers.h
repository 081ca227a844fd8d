#pragma once

#include <algorithm>
#include <vector>

namespace zorvex {

// The listeners of one source of news, told in the order they subscribed.
// Not thread-safe: the owner's thread adds, removes and tells. A listener
// must outlive its subscription.
template <typename Listener>
class Subscribers {
public:
    void add(Listener* listener) { listeners_.push_back(listener); }
    void remove(Listener* listener) { std::erase(listeners_, listener); }

    // event(listener) for each; a listener may come or go meanwhile.
    template <typename Event>
    void tell(const Event& event) const {
        const std::vector<Listener*> listeners = listeners_;
        for (Listener* listener : listeners) event(*listener);
    }

private:
    std::vector<Listener*> listeners_;
};

}  // namespace zorvex
