#pragma once
// An object in static storage, made at its first use, that a forked child
// builds afresh: the parent's copy, perhaps locked by a thread the child does
// not have, is abandoned, not freed. One object per type.

#include <new>
#include <pthread.h>

namespace platform {

template <typename T> T& ForkFresh() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static T* object = [] {
        ::pthread_atfork(nullptr, nullptr, [] { new (storage) T(); });
        return new (storage) T();
    }();
    return *object;
}

} // namespace platform
