#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// How the entry fields read numbers. None of them depends on the process
// locale: the decimal point is always ".".

// A coordinate entry: surrounding blanks, optional sign, digits with an
// optional "." fraction, optional exponent. Nothing else (no inf, nan, hex).
std::optional<double> ParseCoordinate(std::string_view text);

// A whole number typed into the converter: leading blanks, optional sign,
// decimal digits or "$"/"0x" hexadecimal; nothing may follow; 32-bit range.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// The longest leading decimal number, in the manner of strtod with "." only;
// 0 when the text does not start with a number.
double ParseLeadingDecimal(std::string_view text);
