#pragma once

#include <cstdint>

// A watch on an open file for what takes a name from it: deleting it (its link count
// changes), moving it, and replacing it by another file moved onto its name (its link count
// again).
//
// All watches of the process share one inotify instance, which stays open until the process
// ends: closing an instance that has had a watch waits for the kernel's grace period (15 to
// 20 ms measured here), and a publishing run would pay that at its end every time.
class TNameWatch {
 public:
  // Watches the file open as fd. Where the kernel cannot (no inotify, its limits reached),
  // Told answers true every time.
  explicit TNameWatch(int fd);
  ~TNameWatch();
  TNameWatch(const TNameWatch&) = delete;
  TNameWatch& operator=(const TNameWatch&) = delete;

  // Whether anything has happened to the file since the watch began or since the last
  // call; also true whenever the watch cannot vouch for anything.
  bool Told();

 private:
  int FWatch = -1;         // the watch in the shared instance; -1: none
  std::uint64_t FSeen = 0; // the count of its events at the last call
};
