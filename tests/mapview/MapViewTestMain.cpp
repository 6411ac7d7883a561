#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// One QApplication for every test. Listing the tests (CTest's discovery)
// runs without the test's environment, hence the offscreen fallback.
int main(int argc, char* argv[]) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quarnel");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
