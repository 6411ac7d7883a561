#pragma once

#include <string>
#include <string_view>

// What the readers of source documents share.

// "png", "jpg", "gif" or "webp" from the ending of an address's path; empty when none of them.
std::string FormatOfAddress(std::string_view address);
// The same from a media type ("image/png; mode=8bit").
std::string FormatOfMediaType(std::string_view type);
// A name for a source its document does not name: the address's host, or the file's name without its ending.
std::string DocumentName(const std::string& documentAddress);
// An address relative to an http(s) document made whole; any other left as it is.
std::string ResolveAddress(const std::string& address, const std::string& documentAddress);
