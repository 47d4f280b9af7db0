#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Set here rather than in ctest's ENVIRONMENT: the test listing during the build runs
  // this program without it, and would need a display otherwise.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lichtfracht"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lichtfracht"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
