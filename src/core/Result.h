#pragma once
// Result<T>: the value of a core operation that can fail, shaped like C++23 std::expected so
// that it can be swapped for it once our compilers have it. Owned by whoever called; no threads.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace taktwerk::core {

struct Error {
    std::string message;  // for the user: what failed and what to do, in the program's own words
    std::string detail;   // for the log: the system's own text (errno, sf_strerror, ...)
};

template <typename E>
class Unexpected {
public:
    explicit Unexpected(E error) : error_(std::move(error)) {}
    const E& error() const& { return error_; }
    E&& error() && { return std::move(error_); }

private:
    E error_;
};

inline Unexpected<Error> fail(std::string message, std::string detail = {})
{
    return Unexpected<Error>(Error{std::move(message), std::move(detail)});
}

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Unexpected<Error> error) : state_(std::in_place_index<1>, std::move(error).error()) {}

    bool has_value() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    T& value() &
    {
        assert(has_value());
        return std::get<0>(state_);
    }
    const T& value() const&
    {
        assert(has_value());
        return std::get<0>(state_);
    }
    T&& value() &&
    {
        assert(has_value());
        return std::get<0>(std::move(state_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const
    {
        assert(!has_value());
        return std::get<1>(state_);
    }

private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Unexpected<Error> error) : error_(std::move(error).error()), failed_(true) {}

    bool has_value() const noexcept { return !failed_; }
    explicit operator bool() const noexcept { return has_value(); }
    const Error& error() const
    {
        assert(failed_);
        return error_;
    }

private:
    Error error_;
    bool failed_ = false;
};

}  // namespace taktwerk::core
