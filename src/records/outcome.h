#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace quorvel {

// What an operation that can fail gives: its value, or the reason it failed
// in words (never empty on failure). Outcome<> carries nothing but success.
// One type for every layer, so that no caller loses a reason.
template <class T = std::monostate>
struct [[nodiscard]] Outcome {
    T value{};
    QString error;

    bool ok() const { return error.isEmpty(); }
    explicit operator bool() const { return ok(); }
    static Outcome failure(QString why) { return {T{}, std::move(why)}; }
};

}  // namespace quorvel
