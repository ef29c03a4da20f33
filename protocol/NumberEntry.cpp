#include "protocol/NumberEntry.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace ht6630 {

namespace {

// Characters the number reader skips wherever they stand.
bool IsSkippedBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsEdgeBlank(char c) { return IsSkippedBlank(c); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsExponentMark(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }

// The parts of a decimal number, as read from the text.
struct NumberParts {
    bool negative = false;
    std::string intDigits;
    std::string fracDigits;
    bool exponentNegative = false;
    std::string expDigits;
};

// Turns the parts into a double; overflow gives infinity, underflow zero.
double PartsToDouble(const NumberParts& p) {
    if (p.intDigits.empty() && p.fracDigits.empty()) return 0.0;
    // Exponent as a bounded integer: beyond a million every result is 0 or infinity anyway.
    long exponent = 0;
    for (char c : p.expDigits) {
        exponent = exponent * 10 + (c - '0');
        if (exponent > 1'000'000) {
            exponent = 1'000'000;
            break;
        }
    }
    if (p.exponentNegative) exponent = -exponent;

    std::string text;
    text.reserve(p.intDigits.size() + p.fracDigits.size() + 16);
    if (p.negative) text.push_back('-');
    text += p.intDigits.empty() ? std::string("0") : p.intDigits;
    if (!p.fracDigits.empty()) {
        text.push_back('.');
        text += p.fracDigits;
    }
    if (exponent != 0) {
        text.push_back('e');
        text += std::to_string(exponent);
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Decide by the position of the first significant digit.
        const auto firstInt = p.intDigits.find_first_not_of('0');
        long magnitude = 0;
        if (firstInt != std::string::npos) {
            magnitude = static_cast<long>(p.intDigits.size() - firstInt) + exponent;
        } else {
            const auto firstFrac = p.fracDigits.find_first_not_of('0');
            if (firstFrac == std::string::npos) return p.negative ? -0.0 : 0.0;
            magnitude = -static_cast<long>(firstFrac) + exponent;
        }
        const double big = std::numeric_limits<double>::infinity();
        if (magnitude > 0) return p.negative ? -big : big;
        return p.negative ? -0.0 : 0.0;
    }
    if (ec != std::errc()) return 0.0;
    return value;
}

}  // namespace

double ValueOf(std::string_view text) {
    NumberParts parts;
    enum class Stage { Sign, Integer, Fraction, ExponentSign, Exponent } stage = Stage::Sign;
    bool anyMantissaDigit = false;
    for (char c : text) {
        if (IsSkippedBlank(c)) continue;
        bool taken = false;
        switch (stage) {
            case Stage::Sign:
                if (c == '+' || c == '-') {
                    parts.negative = (c == '-');
                    stage = Stage::Integer;
                    taken = true;
                    break;
                }
                stage = Stage::Integer;
                [[fallthrough]];
            case Stage::Integer:
                if (IsDigit(c)) {
                    parts.intDigits.push_back(c);
                    anyMantissaDigit = true;
                    taken = true;
                } else if (c == '.') {
                    stage = Stage::Fraction;
                    taken = true;
                } else if (IsExponentMark(c) && anyMantissaDigit) {
                    stage = Stage::ExponentSign;
                    taken = true;
                }
                break;
            case Stage::Fraction:
                if (IsDigit(c)) {
                    parts.fracDigits.push_back(c);
                    anyMantissaDigit = true;
                    taken = true;
                } else if (IsExponentMark(c) && anyMantissaDigit) {
                    stage = Stage::ExponentSign;
                    taken = true;
                }
                break;
            case Stage::ExponentSign:
                if (c == '+' || c == '-') {
                    parts.exponentNegative = (c == '-');
                    stage = Stage::Exponent;
                    taken = true;
                    break;
                }
                stage = Stage::Exponent;
                [[fallthrough]];
            case Stage::Exponent:
                if (IsDigit(c)) {
                    parts.expDigits.push_back(c);
                    taken = true;
                }
                break;
        }
        if (!taken) break;
    }
    return PartsToDouble(parts);
}

bool IsNumeric(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsEdgeBlank(text[b])) ++b;
    while (e > b && IsEdgeBlank(text[e - 1])) --e;
    if (b == e) return false;
    std::size_t i = b;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    while (i < e && IsDigit(text[i])) ++i, ++digits;
    if (i < e && text[i] == '.') {
        ++i;
        while (i < e && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < e && IsExponentMark(text[i])) {
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < e && IsDigit(text[i])) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == e;
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double below = std::floor(value);
    const double diff = value - below;
    double result;
    if (diff < 0.5) {
        result = below;
    } else if (diff > 0.5) {
        result = below + 1.0;
    } else {
        result = (std::fmod(below, 2.0) == 0.0) ? below : below + 1.0;
    }
    return result == 0.0 ? 0.0 : result;  // no negative zero
}

std::string_view Trim(std::string_view text) {
    const auto b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const auto e = text.find_last_not_of(' ');
    return text.substr(b, e - b + 1);
}

bool IsPlainDigits(std::string_view text) {
    const auto t = Trim(text);
    if (t.empty()) return false;
    for (char c : t)
        if (!IsDigit(c)) return false;
    return true;
}

}  // namespace ht6630
