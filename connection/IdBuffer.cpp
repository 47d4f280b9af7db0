#include "IdBuffer.h"

#include "IdTCPExceptions.h"

#include <cstring>

void TIdBuffer::SetSize(int32_t size) {
  if (FHead != 0) {
    FData.erase(FData.begin(), FData.begin() + static_cast<std::ptrdiff_t>(FHead));
    FHead = 0;
  }
  FData.resize(static_cast<size_t>(size < 0 ? 0 : size));
}

void TIdBuffer::Append(const char* bytes, int32_t count) {
  if (count > 0) FData.insert(FData.end(), bytes, bytes + count);
}

void TIdBuffer::Consume(int32_t count) {
  if (count < 0 || count > Size()) throw EIdNotEnoughDataInBuffer();
  FHead += static_cast<size_t>(count);
  ++FGeneration;
  if (FHead == FData.size()) {
    Clear();
  } else if (FHead > FData.size() - FHead) {
    FData.erase(FData.begin(), FData.begin() + static_cast<std::ptrdiff_t>(FHead));
    FHead = 0;
  }
}
