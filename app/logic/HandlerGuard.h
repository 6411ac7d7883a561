#pragma once

#include <exception>

#include "Platform.h"

// The boundary of a handler: an error nobody caught inside reaches the
// standard error display with its own text, and the handler is abandoned.
template <typename Body>
void RunHandler(Platform& platform, Body&& body) {
  try {
    body();
  } catch (const std::exception& error) {
    platform.ShowError(error.what());
  }
}
