#pragma once
// How the consoles read numbers typed by the operator.
#include <string_view>

namespace ht6630 {

// The text read as a decimal number: blanks ignored, optional sign, digits with
// an optional point, an optional exponent (E/e, D/d); reading stops at the first
// character that cannot continue the number; no number at the start gives 0.
double ValueOf(std::string_view text);

// The whole text reads as a number (leading/trailing blanks allowed). Empty text is not numeric.
bool IsNumeric(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour (1.5 -> 2, 2.5 -> 2, -0.5 -> 0).
double RoundHalfEven(double value);

// Text without leading and trailing blanks (spaces only, as the consoles trim).
std::string_view Trim(std::string_view text);

// Plain decimal digits only (after trimming), at least one.
bool IsPlainDigits(std::string_view text);

}  // namespace ht6630
