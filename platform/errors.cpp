#include "platform/errors.h"

#include <dlfcn.h>

namespace quorvelle {

std::uintptr_t ModuleRelativeAddress(const void *codeAddress) noexcept {
  if (codeAddress == nullptr) {
    return 0;
  }
  Dl_info info{};
  const auto raw = reinterpret_cast<std::uintptr_t>(codeAddress);
  if (dladdr(codeAddress, &info) != 0 && info.dli_fbase != nullptr) {
    return raw - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  }
  return raw;
}

// Not inlined, so the return address is the instruction after the call in the
// function that raised the error.
__attribute__((noinline)) QuorvelleError::QuorvelleError(const std::string &message)
    : std::runtime_error(message),
      raiseAddress_(ModuleRelativeAddress(__builtin_extract_return_addr(__builtin_return_address(0)))) {}

} // namespace quorvelle
