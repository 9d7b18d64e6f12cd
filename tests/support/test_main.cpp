// Every test binary starts GTK on the X display the test command provides;
// a test that needs no display still runs when there is none.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  gtk_init_check(&argc, &argv);
  return RUN_ALL_TESTS();
}
