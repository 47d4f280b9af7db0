#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

// Where a publishing run that failed after making its dated folder stopped; kept in
// memory for the program run, so that the next run from the same local folder can go on
// in the same dated folder instead of sending every photo again into a new one.
struct TResumePoint {
  std::string LocalFolder;  // with its trailing "/"
  std::string RemoteFolder; // the dated folder, as the server named it after opening it
  // Complete on the server and recorded in the log: a continued run never writes a
  // second record for them. Looked up and added to for every file of a run: hashed, since
  // a tree's thousands of scattered nodes cost a run of small files a few milliseconds.
  std::unordered_set<std::string> Logged;
  int Done = 0; // files on the server when the run stopped, recorded or not
  int Total = 0;
};

// What a continued run does with one file of the local folder.
struct TResumeStep {
  bool Send;   // the server lacks it, or holds another size: it goes (again)
  bool Record; // the log does not tell of it yet
  bool operator==(const TResumeStep& other) const {
    return Send == other.Send && Record == other.Record;
  }
};

// localSize: the local file's size now; remoteSize: what the server holds under the same
// name in the dated folder (-1: no such file, or the server would not say). A file whose
// record failed after it arrived complete gets its record now, without being sent again.
TResumeStep ResumeStepFor(std::uint64_t localSize, std::int64_t remoteSize, bool logged);

// The question put before a run from the same local folder: go on in the dated folder?
std::string ResumeQuestion(const TResumePoint& point);
