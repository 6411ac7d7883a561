#pragma once

#include <cstdio>
#include <exception>

// Runs a program's main body. An error that nothing below caught (a file
// system call refusing a name, memory running out) ends the program with one
// line on standard error and status 1, never with an abort and a core.
template <typename Body>
int RunProgram(const char* program, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", program, error.what());
  } catch (...) {
    std::fprintf(stderr, "%s: an unknown error ended the program\n", program);
  }
  return 1;
}
