#pragma once

#include <QObject>

class QAction;
class QKeyEvent;
class QMenuBar;

// Access keys of a menu bar whose menus share letters ("&Datei", "&Datentransfer"), as on
// the desktop the window's layout comes from. Qt takes two menus with the same Alt+letter
// for an ambiguous shortcut and opens them in turn, one per press, disabled ones counted,
// so the same keys would open a different menu each time. Here:
// - Alt+letter with no menu open opens the first enabled menu with that letter;
// - the letter (with or without Alt) while a menu of the bar is open, or while the bar has
//   the keyboard, goes to the open menu's items when one of them has it (Qt moves between
//   items that share it and triggers an item that has it alone), and otherwise moves on to
//   the next enabled menu with that letter.
class TMenuAccessKeys : public QObject {
 public:
  // Watches the application's key events for bar; bar must outlive this object (make it
  // the bar's child or the window's).
  TMenuAccessKeys(QMenuBar* bar, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The key's letter (Qt::Key_A to Qt::Key_Z) when the event is one this object may
  // handle, else 0.
  int Letter(const QKeyEvent& key) const;
  // Whether the event is for this object; acts on a key press.
  bool Handle(QObject* receiver, int letter, bool alt, bool press);
  // Whether a key for receiver was typed in the bar's window.
  bool InBarWindow(QObject* receiver) const;
  // The enabled menu of the bar with the letter that comes after current (first when
  // current has none), or null.
  QAction* NextMenu(int letter, QAction* current) const;
  bool BarHasLetter(int letter) const;

  QMenuBar* FBar;
};
