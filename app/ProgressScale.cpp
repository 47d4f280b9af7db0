#include "ProgressScale.h"

#include <algorithm>
#include <limits>

void TProgressScale::Begin(uint64_t size) {
  FSize = size;
  FTotal = 0;
  FLastCount = 0;
  FShift = 0;
  while ((FSize >> FShift) > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    ++FShift;
}

void TProgressScale::Advance(int32_t count) {
  const auto now = static_cast<uint32_t>(count);
  FTotal += now - FLastCount; // modulo 2^32: right across the wrap
  FLastCount = now;
}

int32_t TProgressScale::Position() const {
  return static_cast<int32_t>(std::min(FTotal, FSize) >> FShift);
}
