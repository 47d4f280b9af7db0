#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <string>

// One panel of the status bar: one line of text, drawn by the panel itself. The text
// changes twice per file of a publishing run. A label in the status bar's layout had the
// bar, and after it the whole window, laid out anew for each text; a label of its own still
// cost more per text (its layout, its geometry, its text format) than sending a short file
// took. Here a new text is kept as the 8-bit text it came as, and turned into a QString
// only when the panel is drawn: at most every DrawingPace, the last text always. Drawn at
// every serving, the panel alone had the window drawn at every serving of such a run. The
// panel's size comes from the bar (a fixed width, or the rest of it), never from its text.
class TStatusPanel : public QWidget {
 public:
  static constexpr std::chrono::milliseconds DrawingPace{100};

  explicit TStatusPanel(QWidget* parent);

  QString text() const { return QString::fromLocal8Bit(FText); }
  void setText(const std::string& text);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  using TClock = std::chrono::steady_clock;

  void AskDrawing();

  std::string FText;
  // A drawing was asked for and has not happened yet: asking again would only cost.
  bool FDrawingAsked = false;
  TClock::time_point FLastDrawn{};
  QTimer FDrawLater;
};
