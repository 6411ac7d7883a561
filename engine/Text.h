#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The text helpers every layer shares. ASCII only: the files and protocols
// these read are ASCII where it matters, whatever the process locale says.

// The blanks of a value in a file or a header: space and tab.
inline constexpr std::string_view kBlanks = " \t";
// All of C's white space, line ends included.
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

std::string_view TrimLeft(std::string_view text, std::string_view blanks = kBlanks);
std::string_view TrimRight(std::string_view text, std::string_view blanks = kBlanks);
std::string_view Trim(std::string_view text, std::string_view blanks = kBlanks);

char LowerAscii(char c);
std::string LowerAscii(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Whether text starts with a prefix written in lower case, whatever the text's case.
bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix);

bool Contains(std::string_view text, std::string_view what);

// Digits only, at most nine of them (no sign, no blank); nullopt otherwise.
std::optional<int32_t> WholeNumber(std::string_view text);
