// Run-time errors of the programs. Each carries its classic run-time error number (5 invalid
// procedure call or argument, 6 overflow, 9 subscript out of range, 11 division by zero,
// 13 type mismatch, 91 object not set), which the programs' last-resort handlers show in their
// error box beside the text.
#pragma once

#include <stdexcept>
#include <string>

namespace plenova {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& message)
        : std::runtime_error(message), number_(number) {}
    int Number() const noexcept { return number_; }

private:
    int number_;
};

class OverflowError : public RuntimeError {
public:
    explicit OverflowError(const std::string& what = "Overflow") : RuntimeError(6, what) {}
};

class SubscriptOutOfRangeError : public RuntimeError {
public:
    explicit SubscriptOutOfRangeError(const std::string& what = "Subscript out of range")
        : RuntimeError(9, what) {}
};

class DivisionByZeroError : public RuntimeError {
public:
    explicit DivisionByZeroError(const std::string& what = "Division by zero")
        : RuntimeError(11, what) {}
};

class TypeMismatchError : public RuntimeError {
public:
    explicit TypeMismatchError(const std::string& what = "Type mismatch")
        : RuntimeError(13, what) {}
};

// An object variable was used while it held no object.
class MissingObjectError : public RuntimeError {
public:
    explicit MissingObjectError(const std::string& what = "Object variable not set")
        : RuntimeError(91, what) {}
};

// Text that cannot be converted between Unicode and the ANSI code page.
class EncodingError : public RuntimeError {
public:
    explicit EncodingError(const std::string& what) : RuntimeError(5, what) {}
};

// Runs one step of a sequence that must not stop half-way (an unload, an uninstallation after
// its confirmation): a failure of the step is passed over and the sequence goes on. Only
// failures are taken; ending the process is not one.
template <class Step>
void IgnoringFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
        // Passed over: the sequence is written to go on whatever a step meets.
    }
}

}  // namespace plenova
