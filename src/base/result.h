#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace velmor {

// The error half of a Result: a text meant for the user, as the tools show it.
struct Failure {
    std::string message;
};

inline Failure fail(std::string message) { return Failure{std::move(message)}; }

// What an operation below the tool layer gives back: a value, or the text of what went
// wrong. Ignoring one is a compile error, so a failure can't pass for success by accident.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure.message)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    const std::string& error() const { return std::get<1>(state_); }

private:
    std::variant<T, std::string> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : error_(std::move(failure.message)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return *error_; }

private:
    std::optional<std::string> error_;
};

// A finished operation, for `return succeeded();` where `return {};` would read oddly.
inline Result<void> succeeded() { return {}; }

}  // namespace velmor

// Ends the calling function, which answers a Result of any kind, with the failure of the Result
// given when it holds one, so a failure passes up unchanged.
#define VELMOR_RETURN_IF_FAILED(...)                                      \
    do {                                                                  \
        if (const auto& velmorChecked_ = (__VA_ARGS__); !velmorChecked_)  \
            return ::velmor::fail(velmorChecked_.error());                \
    } while (false)
