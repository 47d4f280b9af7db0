#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A growable block of bytes, oldest first. Consuming from the front only moves a read
// mark; the bytes are moved to the front when the consumed part outweighs the rest, so
// taking many small lines off a large buffer stays linear.
class TIdBuffer {
 public:
  int32_t Size() const { return static_cast<int32_t>(FData.size() - FHead); }
  char* Memory() { return FData.data() + FHead; }
  const char* Memory() const { return FData.data() + FHead; }
  // Sets the size; new bytes are scratch.
  void SetSize(int32_t size);
  void Append(const char* bytes, int32_t count);
  // Removes the first count bytes; raises EIdNotEnoughDataInBuffer (removing nothing)
  // when fewer are held.
  void Consume(int32_t count);
  void Clear() {
    FData.clear();
    FHead = 0;
    ++FGeneration;
  }
  // Changes whenever bytes leave the buffer, so a reader can tell that what it searched
  // before is gone.
  uint64_t Generation() const { return FGeneration; }

 private:
  std::vector<char> FData;
  size_t FHead = 0;
  uint64_t FGeneration = 0;
};
