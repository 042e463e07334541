// LRef: the counted reference through which sources, sinks and rings are held.
#pragma once

#include <utility>

// T provides AddRef() and Release(); Release() destroys the object when the count reaches 0.
template <class T>
class LRef {
  public:
    LRef() = default;
    LRef(T* p) : p_(p) {  // NOLINT(google-explicit-constructor): factories return raw pointers
        if (p_) p_->AddRef();
    }
    LRef(const LRef& o) : LRef(o.p_) {}
    LRef(LRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    LRef(const LRef<U>& o) : LRef(o.get()) {}  // NOLINT(google-explicit-constructor)
    template <class U>
    LRef(LRef<U>&& o) noexcept : p_(o.detach()) {}  // NOLINT(google-explicit-constructor)
    ~LRef() { reset(); }

    LRef& operator=(LRef o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Gives up the held reference without releasing it (the count stays taken).
    T* detach() { return std::exchange(p_, nullptr); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    T* p_ = nullptr;
};
