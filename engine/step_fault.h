#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

namespace qv {

// A step stopped on a value it could not convert or compute. Carries the field and its text so
// the report says exactly what was wrong.
class StepFault : public std::runtime_error {
  public:
    StepFault(std::string_view kind, std::string_view field, std::string_view text);
    const std::string& field() const { return field_; }
    const std::string& text() const { return text_; }

  private:
    std::string field_;
    std::string text_;
};

// Division by zero, overflow, a result that is not a number, or a count beyond 32 bits.
class ArithmeticFault : public StepFault {
  public:
    ArithmeticFault(std::string_view field, std::string_view text)
        : StepFault("arithmetic error", field, text) {}
};

// A text that must be a number and is not.
class TypeFault : public StepFault {
  public:
    TypeFault(std::string_view field, std::string_view text)
        : StepFault("type error", field, text) {}
};

}  // namespace qv
