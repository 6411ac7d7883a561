#pragma once

#include <string>

// Turns a filter written as "Label|pattern|Label|pattern" (patterns separated
// by ";") into Qt's "Label (pattern pattern);;Label (pattern)" form. A label
// that already shows its patterns in brackets is kept as it is.
std::string ToQtFileFilter(const std::string& filter);
