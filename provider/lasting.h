#pragma once
// An object in static storage that is never destroyed (threads may still use
// it while the process exits) and that a forked child builds afresh without
// allocating: the parent's copy, perhaps locked by a thread the child does not
// have, is abandoned, not freed.

#include <new>

namespace zul {

template <typename T> class Lasting {
  public:
    Lasting() { Renew(); }
    Lasting(const Lasting&) = delete;
    Lasting& operator=(const Lasting&) = delete;

    T& operator*() { return *object_; }
    T* operator->() { return object_; }
    void Renew() { object_ = new (storage_) T(); }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
    T* object_ = nullptr;
};

} // namespace zul
