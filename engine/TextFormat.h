#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// Number and date forms of the task's files. All are independent of the
// process locale's decimal separator: files always use ".".

// Shortest general form, up to 15 significant digits: 10, 10.5, -0.25, 1E-6.
std::string FormatGeneral(double value);
// C's "%20.14f".
std::string FormatFixed20_14(double value);
// Decimal integer text to int32: optional blanks around it, optional sign,
// decimal digits or "0x"/"0X" hexadecimal; nullopt for anything else or overflow.
std::optional<int32_t> ParseInt32(std::string_view text);
// The local date and time: the locale's short date, a blank, its long time.
std::string LocalDateTimeText(std::time_t when);
std::string LocalDateTimeTextNow();

inline constexpr char kDirSeparator = '/';
inline constexpr const char* kCrLf = "\r\n";
