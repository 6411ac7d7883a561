#pragma once

#include <optional>
#include <string_view>

// Whether an answer's bytes are a whole tile image, by a cheap walk of the
// format's structure (no decoding): PNG chunks with their lengths and CRCs,
// JPEG segments up to the first scan and the end marker, GIF blocks up to
// the trailer, WebP's RIFF and chunk sizes. Servers that block a client
// often answer 200 with an HTML page or a JSON error, and a damaged answer
// may keep a good first and last few bytes; none of them may be saved.

enum class TileImageFormat { Png, Jpeg, Gif, WebP, None };

// The file ending of a format ("png", "jpg", "gif", "webp"); nullptr for None.
const char* TileImageEnding(TileImageFormat format);

// The format the signature names; None when no known one begins the bytes.
TileImageFormat TileImageFormatOf(std::string_view bytes);

// nullopt for a whole image, else why not. The reason is a fixed text
// without digits, so no failure classifier can read a status code into it.
std::optional<std::string_view> TileBodyProblem(std::string_view bytes);
