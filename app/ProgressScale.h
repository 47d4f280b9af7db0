#pragma once

#include <cstdint>

// Maps the byte counts of a transfer onto the progress bar, whose range is a signed 32-bit
// number. The work events carry 32-bit running totals that wrap beyond 2 GiB; the true
// total is followed from the differences (each step is one block, far below 2^31), and a
// size beyond the bar's range is shifted down so that the bar still fills up evenly.
class TProgressScale {
 public:
  // size: the bytes the transfer will move; 0 when unknown.
  void Begin(uint64_t size);
  // count: the running total of the latest work event.
  void Advance(int32_t count);

  // Maximum 0 means unknown: the bar shows that it is busy. A position beyond the
  // maximum (more arrived than announced) is held at the maximum, a full bar.
  int32_t Maximum() const { return static_cast<int32_t>(FSize >> FShift); }
  int32_t Position() const;
  uint64_t Total() const { return FTotal; }

 private:
  uint64_t FSize = 0;
  uint64_t FTotal = 0;
  uint32_t FLastCount = 0;
  int FShift = 0;
};
