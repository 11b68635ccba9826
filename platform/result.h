// Errors are values: every operation that can fail across a module boundary returns a Result.
#pragma once

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

// Wraps an error so that Result<T, E> can be built from it even when T and E are the same type.
template <class E>
struct Err {
    E error;
};

template <class E>
Err<std::decay_t<E>> err(E&& e) {
    return Err<std::decay_t<E>>{std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Result {
public:
    using value_type = T;
    using error_type = E;

    Result(const T& v) : v_(std::in_place_index<0>, v) {}
    Result(T&& v) : v_(std::in_place_index<0>, std::move(v)) {}
    template <class U, class = std::enable_if_t<std::is_constructible_v<T, U&&> &&
                                                !std::is_same_v<std::decay_t<U>, T> &&
                                                !std::is_same_v<std::decay_t<U>, Result>>>
    Result(U&& v) : v_(std::in_place_index<0>, std::forward<U>(v)) {}
    template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
    Result(Err<F> e) : v_(std::in_place_index<1>, std::move(e.error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { assert(ok()); return std::get<0>(v_); }
    const T& value() const& { assert(ok()); return std::get<0>(v_); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    E& error() & { assert(!ok()); return std::get<1>(v_); }
    const E& error() const& { assert(!ok()); return std::get<1>(v_); }
    E&& error() && { assert(!ok()); return std::get<1>(std::move(v_)); }

private:
    std::variant<T, E> v_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
public:
    using value_type = void;
    using error_type = E;

    Result() = default;
    template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
    Result(Err<F> e) : e_(std::move(e.error)) {}

    bool ok() const { return !e_.has_value(); }
    explicit operator bool() const { return ok(); }

    E& error() & { assert(!ok()); return *e_; }
    const E& error() const& { assert(!ok()); return *e_; }
    E&& error() && { assert(!ok()); return std::move(*e_); }

private:
    std::optional<E> e_;
};

}  // namespace platform
