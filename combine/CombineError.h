#pragma once

#include <stdexcept>

// A refusal or a failure, with a message for the user. Nothing was left behind.
class CombineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The checks passed but writing failed (a full disk, a vanished folder).
class CombineWriteFailure : public CombineError {
 public:
  using CombineError::CombineError;
};

class CombineCancelled : public CombineError {
 public:
  CombineCancelled() : CombineError("Cancelled: nothing was written.") {}
};
