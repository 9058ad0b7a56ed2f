#pragma once

// One owner for a handle of the system: it closes the handle when it goes, on every path, so
// that no function closes handles by hand. Which handles, and how they are closed, is said by a
// small traits type: the Windows API's kernel objects and searches in WindowsHandles.h, the
// dialog's GDI objects in src/windows/GdiHandles.h.

#include <utility>

namespace platform {

/// Owns a `Traits::Handle`: moved, never copied, and closed with `Traits::close` when it goes,
/// is reset or is assigned another. `Traits::none()` is what it holds when it holds nothing;
/// `Traits::holds(handle)` tells a handle to close from the values that mean "none" (the Windows
/// API has two of them for its kernel objects, null and INVALID_HANDLE_VALUE).
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    /// Takes `handle` over, as a function of the system returned it, failure included.
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    /// Whether it holds a handle to close.
    explicit operator bool() const noexcept { return Traits::holds(handle_); }
    /// The handle, still owned, for the calls of the system.
    Handle get() const noexcept { return handle_; }

    /// Closes the handle held, if any, and holds `handle` instead.
    void reset(Handle handle = Traits::none()) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (Traits::holds(old))
            Traits::close(old);
    }
    /// Gives the handle up without closing it: someone else owns it now.
    Handle release() noexcept { return std::exchange(handle_, Traits::none()); }

private:
    Handle handle_ = Traits::none();
};

} // namespace platform
