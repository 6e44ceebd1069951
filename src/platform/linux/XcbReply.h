#pragma once

#include <cstdlib>
#include <memory>

namespace platform::x11 {

// An XCB reply, freed with free() as XCB asks.
template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <class T> Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

} // namespace platform::x11
