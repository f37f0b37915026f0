// Result<T, E>: the value of an operation that can fail in an expected way (a refused file, a
// missing folder), or the error that says why. Failures that are faults of the program itself
// (overflow, a subscript out of range) stay exceptions (base/errors.h); a Result is for the
// outcomes a caller has to decide about, so that the code that finds a problem need not know
// how, or whether, it is shown to anybody.
//
//   Result<int, MyError> r = Parse(text);
//   if (!r) return Report(r.error());
//   Use(*r);
//
// Reading the value of a failed result, or the error of a successful one, is a programming
// error and throws std::logic_error. Result<void, E> carries only success or the error.
#pragma once

#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>

namespace plenova {

// The failed outcome, to be converted into any Result with the same error type:
// `return Failure{MyError{...}};`.
template <class E>
struct Failure {
    E error;
};
template <class E>
Failure(E) -> Failure<E>;

template <class T, class E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(Checked(true)); }
    const T& value() const& { return std::get<0>(Checked(true)); }
    T&& value() && { return std::get<0>(std::move(Checked(true))); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const { return std::get<1>(Checked(false)); }

private:
    std::variant<T, E>& Checked(bool wantValue) {
        if (ok() != wantValue) throw std::logic_error(WrongSide(wantValue));
        return state_;
    }
    const std::variant<T, E>& Checked(bool wantValue) const {
        if (ok() != wantValue) throw std::logic_error(WrongSide(wantValue));
        return state_;
    }
    static const char* WrongSide(bool wantValue) {
        return wantValue ? "Result: value of a failed result" : "Result: error of a success";
    }

    std::variant<T, E> state_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(Failure<E> failure) : error_(std::move(failure.error)) {}

    bool ok() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }

    const E& error() const {
        if (ok()) throw std::logic_error("Result: error of a success");
        return *error_;
    }

private:
    std::optional<E> error_;
};

}  // namespace plenova
