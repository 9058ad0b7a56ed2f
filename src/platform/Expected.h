#pragma once

// A value or the reason there is none: what a step that can fail returns, so that the failure
// travels as data to whoever words it. The shape of C++23's std::expected, as much of it as this
// program uses.

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

/// The failure side of an Expected, as `unexpected(failure)` makes it.
template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Expected {
public:
    Expected(T value)
        : held_(std::in_place_index<0>, std::move(value)) {} // NOLINT: as std::expected
    Expected(Unexpected<E> failure)                          // NOLINT: as std::expected
        : held_(std::in_place_index<1>, std::move(failure.error)) {}

    [[nodiscard]] bool has_value() const { return held_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & {
        assert(has_value());
        return std::get<0>(held_);
    }
    const T& value() const& {
        assert(has_value());
        return std::get<0>(held_);
    }
    T&& value() && {
        assert(has_value());
        return std::get<0>(std::move(held_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const& {
        assert(!has_value());
        return std::get<1>(held_);
    }
    E&& error() && {
        assert(!has_value());
        return std::get<1>(std::move(held_));
    }

private:
    std::variant<T, E> held_;
};

/// A step that gives nothing back when it succeeds.
template <class E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    Expected(Unexpected<E> failure) : failure_(std::move(failure.error)) {} // NOLINT

    [[nodiscard]] bool has_value() const { return !failure_.has_value(); }
    explicit operator bool() const { return has_value(); }
    const E& error() const& {
        assert(!has_value());
        return *failure_;
    }

private:
    std::optional<E> failure_;
};

} // namespace platform
