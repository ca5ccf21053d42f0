// An OPML file imported into a list that holds one feed (title read from the
// file, the OPML transformation, the merge, the save and the report).

#include "fuzz/import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  quorvelle::fuzz::ImportAndCheck(data, size, ".opml");
  return 0;
}
