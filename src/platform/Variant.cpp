#include "Variant.h"

#include "Exception.h"

#include <charconv>
#include <limits>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

bool EqualsIgnoringCase(const std::string& text, const char* word) {
    std::size_t i = 0;
    for (; word[i] != 0; ++i) {
        if (i >= text.size()) return false;
        char a = text[i];
        char b = word[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return i == text.size();
}

}  // namespace

const char* TVariant::TypeName(TVarType type) {
    switch (type) {
        case TVarType::Empty:
            return "Empty";
        case TVarType::Null:
            return "Null";
        case TVarType::Boolean:
            return "Boolean";
        case TVarType::Integer:
            return "Integer";
        case TVarType::Int64:
            return "Int64";
        case TVarType::String:
            return "String";
    }
    return "Unknown";
}

void TVariant::FailConversion(TVarType target) const {
    throw EConvertError(
        FormatText("Could not convert variant of type (%s) into type (%s)", TypeName(VarType()), TypeName(target)));
}

std::string TVariant::AsString() const {
    switch (VarType()) {
        case TVarType::Empty:
        case TVarType::Null:
            return std::string();
        case TVarType::Boolean:
            return std::get<bool>(value_) ? "True" : "False";
        case TVarType::Integer:
            return std::to_string(std::get<std::int32_t>(value_));
        case TVarType::Int64:
            return std::to_string(std::get<std::int64_t>(value_));
        case TVarType::String:
            return std::get<std::string>(value_);
    }
    return std::string();
}

// Decimal digits with an optional sign; blanks around them are allowed.
std::int64_t TVariant::TextToInt64(TVarType target) const {
    const std::string& text = std::get<std::string>(value_);
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    const char* begin = text.data() + first;
    const char* end = text.data() + last;
    if (begin != end && *begin == '+') ++begin;
    std::int64_t result = 0;
    if (begin == end) FailConversion(target);
    auto [stop, error] = std::from_chars(begin, end, result, 10);
    if (error != std::errc() || stop != end) FailConversion(target);
    return result;
}

std::int64_t TVariant::AsInt64() const {
    switch (VarType()) {
        case TVarType::Empty:
            return 0;
        case TVarType::Boolean:
            return std::get<bool>(value_) ? 1 : 0;
        case TVarType::Integer:
            return std::get<std::int32_t>(value_);
        case TVarType::Int64:
            return std::get<std::int64_t>(value_);
        case TVarType::String:
            return TextToInt64(TVarType::Int64);
        case TVarType::Null:
            break;
    }
    FailConversion(TVarType::Int64);
}

std::int32_t TVariant::AsInteger() const {
    std::int64_t wide = 0;
    switch (VarType()) {
        case TVarType::Empty:
            return 0;
        case TVarType::Boolean:
            return std::get<bool>(value_) ? 1 : 0;
        case TVarType::Integer:
            return std::get<std::int32_t>(value_);
        case TVarType::Int64:
            wide = std::get<std::int64_t>(value_);
            break;
        case TVarType::String:
            wide = TextToInt64(TVarType::Integer);
            break;
        case TVarType::Null:
            FailConversion(TVarType::Integer);
    }
    if (wide < std::numeric_limits<std::int32_t>::min() || wide > std::numeric_limits<std::int32_t>::max())
        FailConversion(TVarType::Integer);
    return static_cast<std::int32_t>(wide);
}

bool TVariant::AsBoolean() const {
    switch (VarType()) {
        case TVarType::Empty:
            return false;
        case TVarType::Boolean:
            return std::get<bool>(value_);
        case TVarType::Integer:
            return std::get<std::int32_t>(value_) != 0;
        case TVarType::Int64:
            return std::get<std::int64_t>(value_) != 0;
        case TVarType::String: {
            const std::string& text = std::get<std::string>(value_);
            if (EqualsIgnoringCase(text, "True")) return true;
            if (EqualsIgnoringCase(text, "False")) return false;
            return TextToInt64(TVarType::Boolean) != 0;
        }
        case TVarType::Null:
            break;
    }
    FailConversion(TVarType::Boolean);
}
