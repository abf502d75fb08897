#pragma once

#include <cstdlib>
#include <memory>

namespace tarvo {

// Every reply, error and event xcb hands back is one malloc'd block the caller
// frees; this owns one.
struct X11Free {
    void operator()(void* block) const { std::free(block); }
};
template <class T> using X11Reply = std::unique_ptr<T, X11Free>;

// Takes ownership of what an xcb call returned (may be null).
template <class T> X11Reply<T> ownReply(T* reply) {
    return X11Reply<T>(reply);
}

} // namespace tarvo
