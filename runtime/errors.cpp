#include "runtime/errors.h"

namespace pelmora::runtime {

const ErrorEntry* EntryOf(RtError error) {
  for (const ErrorEntry& entry : kErrorTable) {
    if (entry.error == error) return &entry;
  }
  return nullptr;
}

const char* Describe(RtError error) {
  if (error == RtError::kNone) return "Success";
  const ErrorEntry* entry = EntryOf(error);
  return entry != nullptr ? entry->description : "Unknown error";
}

}  // namespace pelmora::runtime
