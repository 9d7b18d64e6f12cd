// Helpers tested directly: the message box. (Saving Kelvo.ini: saving_test.cpp.)
#include <gtk/gtk.h>

#include <string>

#include <gtest/gtest.h>
#include "plugin/message.h"
#include "tests/support/dialogs.h"

namespace {

TEST(MessageBox, ShowsPerCentSignsLiterallyAndCutsLongTexts) {
  ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
  DialogWatcher watcher;
  Message("%s", "100% sure: %i %s %n");
  Message("Error %i opening the joystick", 3);
  const std::string longText(2000, 'x');
  Message("%s", longText.c_str());
  ASSERT_EQ(watcher.texts().size(), 3u);
  EXPECT_EQ(watcher.texts()[0], "100% sure: %i %s %n");
  EXPECT_EQ(watcher.texts()[1], "Error 3 opening the joystick");
  EXPECT_EQ(watcher.texts()[2], std::string(511, 'x'));
}

}  // namespace
