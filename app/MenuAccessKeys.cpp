#include "MenuAccessKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>

namespace {

// The access letter of a caption ("&Datei" -> Qt::Key_D), 0 when it has none.
int AccessLetter(const QString& caption) {
  const QKeySequence mnemonic = QKeySequence::mnemonic(caption);
  return mnemonic.isEmpty() ? 0 : static_cast<int>(mnemonic[0].key());
}

bool HasLetter(const QAction* action, int letter) {
  return action->isVisible() && !action->isSeparator() && AccessLetter(action->text()) == letter;
}

} // namespace

TMenuAccessKeys::TMenuAccessKeys(QMenuBar* bar, QObject* parent) : QObject(parent), FBar(bar) {
  qApp->installEventFilter(this);
}

bool TMenuAccessKeys::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  // A shortcut override that is accepted keeps Qt's shortcuts away from the key, which
  // then arrives as a key press.
  if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
    return QObject::eventFilter(watched, event);
  auto& key = static_cast<QKeyEvent&>(*event);
  const int letter = Letter(key);
  if (letter == 0 ||
      !Handle(watched, letter, key.modifiers() == Qt::AltModifier, type == QEvent::KeyPress))
    return QObject::eventFilter(watched, event);
  event->accept();
  return true;
}

int TMenuAccessKeys::Letter(const QKeyEvent& key) const {
  const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
  if (modifiers != Qt::NoModifier && modifiers != Qt::AltModifier && modifiers != Qt::ShiftModifier)
    return 0;
  if (key.key() < Qt::Key_A || key.key() > Qt::Key_Z || key.isAutoRepeat()) return 0;
  return BarHasLetter(key.key()) ? key.key() : 0;
}

bool TMenuAccessKeys::BarHasLetter(int letter) const {
  for (const QAction* action : FBar->actions())
    if (HasLetter(action, letter)) return true;
  return false;
}

bool TMenuAccessKeys::InBarWindow(QObject* receiver) const {
  if (auto* widget = qobject_cast<QWidget*>(receiver)) return widget->window() == FBar->window();
  // With no widget focused, the shortcut check goes to the window itself.
  return receiver && receiver == FBar->window()->windowHandle();
}

bool TMenuAccessKeys::Handle(QObject* receiver, int letter, bool alt, bool press) {
  QWidget* popup = QApplication::activePopupWidget();
  auto* openMenu = qobject_cast<QMenu*>(popup);
  QAction* current = nullptr;
  if (openMenu) {
    // Only the bar's own menus; another popup (a list's, a dialog's) is none of ours.
    current = openMenu->menuAction();
    if (!FBar->actions().contains(current)) return false;
    // The open menu's own items come first.
    for (const QAction* item : openMenu->actions())
      if (HasLetter(item, letter)) return false;
  } else if (popup) {
    return false;
  } else if (FBar->hasFocus()) {
    // The bar took the keyboard (Alt pressed and released): a plain letter picks a menu.
    current = FBar->activeAction();
  } else {
    // Alt+letter from anywhere in the bar's window.
    if (!alt || !FBar->isVisible() || QApplication::activeModalWidget() || !InBarWindow(receiver))
      return false;
  }
  if (press) {
    QAction* next = NextMenu(letter, current);
    if (next && next != current) FBar->setActiveAction(next);
  }
  return true;
}

QAction* TMenuAccessKeys::NextMenu(int letter, QAction* current) const {
  QList<QAction*> candidates;
  for (QAction* action : FBar->actions())
    if (action->isEnabled() && HasLetter(action, letter)) candidates << action;
  if (candidates.isEmpty()) return nullptr;
  const qsizetype at = candidates.indexOf(current);
  return at < 0 ? candidates.front() : candidates.at((at + 1) % candidates.size());
}
