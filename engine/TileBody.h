#pragma once

#include <optional>
#include <string_view>

// Whether an answer's bytes are a whole tile image, by cheap checks only
// (no decoding): a PNG, JPEG, GIF or WebP signature, and the end a cut-off
// file lacks (PNG's IEND chunk, JPEG's end marker, GIF's trailer, WebP's
// RIFF length). Servers that block a client often answer 200 with an HTML
// page or a JSON error; neither may be saved as a tile.

enum class TileImageFormat { Png, Jpeg, Gif, WebP, None };

// The format the signature names; None when no known one begins the bytes.
TileImageFormat TileImageFormatOf(std::string_view bytes);

// nullopt for a whole image, else why not. The reason is a fixed text
// without digits, so no failure classifier can read a status code into it.
std::optional<std::string_view> TileBodyProblem(std::string_view bytes);
