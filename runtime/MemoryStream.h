#pragma once

#include "Stream.h"

#include <string>

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  void Write(const void* buffer, int64_t count) override;
  int64_t Position() const override { return FPosition; }
  void SetPosition(int64_t position) override;
  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t size) override;

  // The whole content, whatever the position.
  const std::string& Data() const { return FData; }

 private:
  std::string FData;
  int64_t FPosition = 0;
};
