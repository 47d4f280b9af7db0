#pragma once

#include "IdException.h"
#include "IdLogBase.h"

#include <functional>
#include <memory>
#include <string>

class TFileStream;
class TIdLogDebug;

enum TIdLogDebugTarget : uint8_t {
  ltFile = 0,        // append to Filename
  ltDebugOutput = 1, // the diagnostic channel
  ltEvent = 2        // OnLogItem only
};

// The handler may change the text; the changed text is what reaches the target.
using TLogItemEvent = std::function<void(TIdLogDebug* ASender, std::string& AText)>;

class EIdCanNotChangeTarget : public EIdException {
 public:
  EIdCanNotChangeTarget() : EIdException("Ziel kann in aktivem Zustand nicht geändert werden.") {}
};

// An item as the terminal behind standard error may see it: the server's bytes could
// otherwise move the cursor, recolour or retitle the terminal, or answer back through it.
// Control characters other than TAB, DEL and the C1 controls in UTF-8 become "?".
std::string TerminalText(const std::string& text);
// TerminalText of text, appended to shown.
void AppendTerminalText(std::string& shown, const std::string& text);

// The connection trace: each item goes to OnLogItem and then to the target; the debug
// output gets it as TerminalText.
class TIdLogDebug : public TIdLogBase {
 public:
  TIdLogDebug();
  ~TIdLogDebug() override;

  // With ltFile, switching on opens Filename (created when missing) to append to it.
  void SetActive(bool active) override;
  TIdLogDebugTarget Target() const { return FTarget; }
  // Refused with EIdCanNotChangeTarget while active (except while loading).
  void SetTarget(TIdLogDebugTarget target);

  // Writes what is held for the debug output now (see HoldDebugOutput).
  void FlushDebugOutput();

  std::string Filename;
  TLogItemEvent OnLogItem;
  // With ltDebugOutput, items are held until FlushDebugOutput (or switching off, or
  // destruction, or a held 64 KiB) and then written in one piece: one system call per
  // item costs a busy transfer of small files more than a person gains from seeing each
  // line the moment it happens. The owner flushes as often as it shows its own lines.
  bool HoldDebugOutput = false;

 protected:
  void WriteLogItem(std::string& text) override;

 private:
  std::unique_ptr<TFileStream> LogStream; // open while active with ltFile
  TIdLogDebugTarget FTarget = ltFile;
  std::string FHeldOutput;
};
