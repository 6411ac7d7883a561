#pragma once

#include <map>
#include <string>

#include "TestFiles.h"

bool EveryLineEndsWithCrLf(const std::string& text);

// Every file and link below root (not following links): relative path ->
// a fingerprint of its type, size and content.
std::map<std::string, std::string> Fingerprints(const std::string& root);
