// Draws the settings page in the X server and saves it as a PNG in the test
// run's output folder, for a person to look at: at rest, and with a key lit.
#include <sys/stat.h>

#include <cstdio>

#include "gtk_helpers/window_picture.h"
#include "tests/support/plugin_fixture.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

namespace {

class PageScreenshotTest : public PluginTest {};

TEST_F(PageScreenshotTest, SavesAPictureOfThePage) {
  ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
  AttachJoystick({12, 2, 1});
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({3, 4, 9, 10, 5, 6, 1, 0}, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);

  PropertiesWindow host;
  gtk_window_move(GTK_WINDOW(host.window()), 0, 0);
  gtk_window_resize(GTK_WINDOW(host.window()), 320, 240);
  ASSERT_EQ(host.AddPage(plugin_), 0);
  host.Settle();

  // Drawn into a pixmap of its own: reading the screen could catch the window
  // before the X server has painted it.
  GdkPixbuf* shot = PictureOfWindow(host.window());
  ASSERT_NE(shot, nullptr);
  const int width = gdk_pixbuf_get_width(shot), height = gdk_pixbuf_get_height(shot);
  ASSERT_GE(width, 296) << "wide enough for both columns of key buttons";
  ASSERT_GE(height, 184);

  // Something was drawn: the picture is not one flat colour.
  const guchar* pixels = gdk_pixbuf_get_pixels(shot);
  const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
  int differing = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const guchar* p = pixels + y * stride + x * channels;
      differing += p[0] != pixels[0] || p[1] != pixels[1] || p[2] != pixels[2];
    }
  }
  EXPECT_GT(differing, width * height / 100);

  mkdir(KELVO_TEST_OUTPUT_DIR, 0755);
  const std::string path = std::string(KELVO_TEST_OUTPUT_DIR) + "/settings_page.png";
  EXPECT_TRUE(SavePng(shot, path));
  g_object_unref(shot);
  EXPECT_TRUE(FileExists(path));
  std::printf("settings page picture: %s\n", path.c_str());

  // Joystick button 3 held: key A is drawn lit.
  ASSERT_TRUE(stick_->SetButton(2, true));
  RunUntil([] { return false; }, std::chrono::milliseconds(300));
  host.Settle();
  GdkPixbuf* lit = PictureOfWindow(host.window());
  ASSERT_NE(lit, nullptr);
  const std::string litPath = std::string(KELVO_TEST_OUTPUT_DIR) + "/settings_page_lit.png";
  EXPECT_TRUE(SavePng(lit, litPath));
  g_object_unref(lit);
  std::printf("settings page with key A lit: %s\n", litPath.c_str());
}

}  // namespace
