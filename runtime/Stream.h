#pragma once

#include <cstdint>

// A byte stream with a position and a size: local files and memory blocks alike.
class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to count bytes at the position and advances it; returns how many were read
  // (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes all count bytes at the position and advances it, or raises.
  virtual void Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
  virtual int64_t Size() const = 0;
  // Cuts or extends the stream; the position is left alone unless it lay beyond the new end.
  virtual void SetSize(int64_t size) = 0;
};
