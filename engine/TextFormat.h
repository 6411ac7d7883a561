#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Number and date forms of the task's files. All are independent of the
// process locale's decimal separator: files always use ".".

// Shortest general form, up to 15 significant digits: 10, 10.5, -0.25, 1E-6.
// Scientific below 0.00001 in magnitude and from 1E15 up.
std::string FormatGeneral(double value);

// C's "%20.14f".
std::string FormatFixed20_14(double value);
// The same into a caller's buffer of at least kFixed20_14MaxChars; returns the length.
inline constexpr std::size_t kFixed20_14MaxChars = 340;
std::size_t FormatFixed20_14(char* out, double value);

// Decimal integer text to int32: optional blanks around it, optional sign,
// decimal digits or "0x"/"0X" hexadecimal (at most 32 bits, taken as the
// bit pattern: 0xFFFFFFFF is -1); nullopt for anything else or overflow.
std::optional<int32_t> ParseInt32(std::string_view text);

// Lines of a text, each ended by LF with an optional CR before it; a last
// line without LF counts too. "a\r\nb" gives {"a", "b"}; "" gives none.
std::vector<std::string> SplitTextLines(std::string_view text);

// The local date and time: the user's locale's short date, a blank, its long
// time (strftime "%x %X"), whatever locale the process itself has set.
std::string LocalDateTimeText(std::time_t when);
std::string LocalDateTimeTextNow();

inline constexpr char kDirSeparator = '/';
inline constexpr const char* kCrLf = "\r\n";

inline constexpr int64_t kTypicalTileBytes = 15 * 1024;
// The bytes these tiles would take at the typical tile size, in the unit
// that keeps the figure short: "about 2.9 MB". The window and the picker
// show the same text.
std::string SizeEstimateText(int64_t tiles);
// The same for a number of bytes.
std::string ByteSizeText(double bytes);
