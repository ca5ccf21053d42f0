#pragma once
// The one family of exceptions raised by Quorvelle's own code. Each records
// the code address that raised it, which the diagnostic log prints.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvelle {

class QuorvelleError : public std::runtime_error {
public:
  explicit QuorvelleError(const std::string &message);
  // Offset of the raising code from the start of the module (shared library or
  // program) that holds it; 0 when it could not be determined.
  [[nodiscard]] std::uintptr_t RaiseAddress() const noexcept { return raiseAddress_; }

private:
  std::uintptr_t raiseAddress_ = 0;
};

// A failing document (DOM) or stylesheet operation.
class EOleException : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// A file or folder operation that failed.
class EInOutError : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// A registry store operation that failed.
class ERegistryException : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// Raised where an operation meets a state it cannot go on from.
class EAbort : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// Module-relative form of a code address (see QuorvelleError::RaiseAddress).
std::uintptr_t ModuleRelativeAddress(const void *codeAddress) noexcept;

} // namespace quorvelle
