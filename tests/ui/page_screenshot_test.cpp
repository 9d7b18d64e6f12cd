// Draws the settings page in the X server and saves it as a PNG in the test
// run's output folder, for a person to look at.
#include <sys/stat.h>

#include <cstdio>

#include "tests/support/plugin_fixture.h"
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
  GdkPixmap* drawable = gtk_widget_get_snapshot(host.window(), nullptr);
  ASSERT_NE(drawable, nullptr);
  int width = 0, height = 0;
  gdk_drawable_get_size(GDK_DRAWABLE(drawable), &width, &height);
  ASSERT_GE(width, 296) << "wide enough for both columns of key buttons";
  ASSERT_GE(height, 184);
  GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(
      nullptr, GDK_DRAWABLE(drawable), gdk_drawable_get_colormap(drawable), 0, 0, 0, 0, width, height);
  g_object_unref(drawable);
  ASSERT_NE(shot, nullptr);

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
  GError* error = nullptr;
  const gboolean saved = gdk_pixbuf_save(shot, path.c_str(), "png", &error, nullptr);
  EXPECT_TRUE(saved) << (error ? error->message : "");
  if (error) g_error_free(error);
  g_object_unref(shot);
  EXPECT_TRUE(FileExists(path));
  std::printf("settings page picture: %s\n", path.c_str());
}

}  // namespace
