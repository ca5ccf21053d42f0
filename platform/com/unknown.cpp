#include "platform/com/unknown.h"

namespace quorvelle::com::ComModule {
namespace {
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};
} // namespace

void ObjectCreated() noexcept { gObjects.fetch_add(1); }
void ObjectDestroyed() noexcept { gObjects.fetch_sub(1); }
void Lock() noexcept { gLocks.fetch_add(1); }
void Unlock() noexcept {
  // An unbalanced unlock from a caller must not make the count negative.
  long locks = gLocks.load();
  while (locks > 0 && !gLocks.compare_exchange_weak(locks, locks - 1)) {
  }
}
long ObjectCount() noexcept { return gObjects.load(); }
long LockCount() noexcept { return gLocks.load(); }
bool CanUnload() noexcept { return gObjects.load() == 0 && gLocks.load() == 0; }

} // namespace quorvelle::com::ComModule
