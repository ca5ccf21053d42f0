// A file in Quorvelle's own XML format imported into a list that holds one
// feed (the merge by category, the save and the report).

#include "fuzz/import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  quorvelle::fuzz::ImportAndCheck(data, size, ".xml");
  return 0;
}
