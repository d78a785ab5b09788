// The result of a step that can fail: ok, or failed with one line saying why.
// The reason is the text the step logged, without the log's "Plugin> "
// prefix; the caller places it in the report with what it knows (which
// subject, which file), so the report never reads the log back.
//
//   Outcome linkTimeCourse(...) {
//     if (!host::linkVTCToCurrentVMR(path)) return host::logFailure("Plugin> ", "...");
//     return {};
//   }
//   Result<Plan> plan = makePlan(...);
//   if (!plan.ok()) return plan.failure();
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace ppi {

// A reason on its way into an Outcome or a Result<T>.
struct [[nodiscard]] Failure {
  std::string reason;
};

inline Failure fail(std::string reason) { return Failure{std::move(reason)}; }

class [[nodiscard]] Outcome {
 public:
  Outcome() = default;  // ok
  Outcome(Failure failed) : failed_(true), reason_(std::move(failed.reason)) {}  // NOLINT: implicit
  static Outcome failure(std::string reason) { return Failure{std::move(reason)}; }

  bool ok() const { return !failed_; }
  // Empty when ok.
  const std::string& reason() const { return reason_; }
  // The same failure, for a caller that passes it on; only when not ok.
  Failure failure() const { return Failure{reason_}; }

 private:
  bool failed_ = false;
  std::string reason_;
};

// A value, or the reason there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}                      // NOLINT: implicit
  Result(Failure failed) : reason_(std::move(failed.reason)) {}      // NOLINT: implicit

  bool ok() const { return value_.has_value(); }
  // Only when ok.
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  // Empty when ok.
  const std::string& reason() const { return reason_; }
  Failure failure() const { return Failure{reason_}; }
  Outcome outcome() const { return ok() ? Outcome() : Outcome(failure()); }

 private:
  std::optional<T> value_;
  std::string reason_;
};

}  // namespace ppi
