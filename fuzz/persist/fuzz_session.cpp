// libFuzzer target for session records (*.ksm and the render hand-off): any bytes decode without
// crashing or reading out of bounds, and a decoded record survives writing and reading back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "persist/session_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrum::SessionRecord record = kestrum::decodeSessionRecord(data, size);
  std::vector<uint8_t> once = kestrum::encodeSessionRecord(record);
  kestrum::SessionRecord again = kestrum::decodeSessionRecord(once.data(), once.size());
  // Compared as bytes so that NaN fields compare equal to themselves.
  if (kestrum::encodeSessionRecord(again) != once) std::abort();
  return 0;
}
