// A small tagged value for settings: unassigned, null, Boolean, integer or text. Settings are
// stored as text, so every value has a text form, and text converts back on demand.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <variant>

// Type names as they appear in conversion messages:
//   Empty   "Empty"    an unassigned value (the default)
//   Null    "Null"     an explicit "no value"
//   Boolean "Boolean"
//   Integer "Integer"  32-bit signed
//   Int64   "Int64"    64-bit signed
//   String  "String"   bytes, UTF-8 by convention
enum class TVarType { Empty, Null, Boolean, Integer, Int64, String };

// Conversions that cannot be made raise EConvertError with the text
// "Could not convert variant of type (<from>) into type (<to>)".
//
// Text form: Empty and Null give "", Booleans "True" / "False", integers their decimal digits.
// Integer from: Empty 0, Boolean 1 / 0, an integer in range, a text of decimal digits with an
//   optional sign and surrounding blanks. Null and any other text fail.
// Boolean from: Empty false, an integer non-zero, a text "True" / "False" in any letter case
//   or an integer text (non-zero is true). Null and any other text fail.
class TVariant {
public:
    TVariant() = default;
    TVariant(bool value) : value_(value) {}
    // Integers that always fit 32 signed bits are Integer, wider ones Int64.
    template <typename T>
    requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)&&(!std::is_same_v<T, char>)TVariant(T value) {
        if constexpr (std::numeric_limits<T>::digits <= 31)
            value_ = static_cast<std::int32_t>(value);
        else
            value_ = static_cast<std::int64_t>(value);
    }
    TVariant(std::string value) : value_(std::move(value)) {}
    TVariant(const char* value) : value_(std::string(value)) {}

    static TVariant Null() {
        TVariant v;
        v.value_ = NullTag{};
        return v;
    }

    TVarType VarType() const { return static_cast<TVarType>(value_.index()); }
    bool IsEmpty() const { return VarType() == TVarType::Empty; }
    bool IsNull() const { return VarType() == TVarType::Null; }

    std::string AsString() const;
    std::int32_t AsInteger() const;
    std::int64_t AsInt64() const;
    bool AsBoolean() const;

    static const char* TypeName(TVarType type);

    // Same type and same content; Empty equals Empty, Null equals Null.
    bool operator==(const TVariant& other) const = default;

private:
    struct EmptyTag {
        bool operator==(const EmptyTag&) const = default;
    };
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    // The order matches TVarType.
    std::variant<EmptyTag, NullTag, bool, std::int32_t, std::int64_t, std::string> value_;

    [[noreturn]] void FailConversion(TVarType target) const;
    std::int64_t TextToInt64(TVarType target) const;
};
