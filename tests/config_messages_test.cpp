// The box a switch-on shows when Kelvo.ini cannot be read: its second line
// names the file's full path (shortened from the left when long) and why,
// a lock another program keeps ends the wait within seconds, and the key map
// keeps its values.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include <gtk/gtk.h>

#include "tests/support/permissions.h"
#include "tests/support/plugin_fixture.h"

namespace {

int heldLock = -1;

// Makes folders of 200-character names until the working directory's path
// is at least length bytes long.
bool GoDeeper(size_t length) {
  char cwd[4096];
  size_t now = getcwd(cwd, sizeof(cwd)) != nullptr ? std::strlen(cwd) : 0;
  const std::string name(200, 'd');
  for (; now < length; now += name.size() + 1) {
    if (mkdir(name.c_str(), 0755) != 0 || chdir(name.c_str()) != 0) return false;
  }
  return true;
}

size_t CodePoints(const std::string& text) {
  size_t count = 0;
  for (const char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

// Reads each message box's two lines, then answers it.
gboolean ReadBoxes(gpointer texts) {
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    gchar* text = nullptr;
    gchar* secondary = nullptr;
    g_object_get(w->data, "text", &text, "secondary-text", &secondary, nullptr);
    static_cast<std::vector<std::string>*>(texts)->push_back(std::string(text) + "\n" +
                                                             (secondary != nullptr ? secondary : ""));
    g_free(text);
    g_free(secondary);
    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
  }
  g_list_free(windows);
  return TRUE;
}

class ConfigMessageTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    AttachJoystick({16, 2, 1});
    dialogs_.reset();  // this test reads the boxes itself
    source_ = g_timeout_add(5, ReadBoxes, &boxes_);
  }
  void TearDown() override {
    g_source_remove(source_);
    if (heldLock >= 0) close(heldLock);
    heldLock = -1;
  }
  std::vector<std::string> boxes_;
  unsigned source_ = 0;
};

TEST_F(ConfigMessageTest, TheBoxNamesThePathAndTheReason) {
  struct Case {
    const char* what;
    bool (*make)();
    const char* reason;
    bool relative;  // deeper than getcwd reaches: the name alone is shown
  };
  const Case cases[] = {
      {"a lock another program keeps",
       [] {
         heldLock = WriteFile("Kelvo.ini", ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1500))
                        ? open("Kelvo.ini", O_RDONLY | O_CLOEXEC)
                        : -1;
         return heldLock >= 0 && flock(heldLock, LOCK_EX) == 0;
       },
       "another program kept Kelvo.ini locked", false},
      {"no permission to read",
       [] {
         return WriteFile("Kelvo.ini", ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1500)) &&
                chmod("Kelvo.ini", 0) == 0;
       },
       "Permission denied", false},
      {"a FIFO", [] { return mkfifo("Kelvo.ini", 0666) == 0; }, "Kelvo.ini is not a regular file", false},
      {"a folder, too deep to show its whole path",
       [] { return GoDeeper(300) && mkdir("Kelvo.ini", 0755) == 0; }, "Kelvo.ini is not a regular file",
       false},
      {"a FIFO deeper than getcwd reaches", [] { return GoDeeper(4300) && mkfifo("Kelvo.ini", 0666) == 0; },
       "Kelvo.ini is not a regular file", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchDir dir;
    ASSERT_TRUE(c.make());
    char cwd[4096];
    const std::string full =
        std::string(c.relative || getcwd(cwd, sizeof(cwd)) == nullptr ? "" : std::string(cwd) + "/") +
        "Kelvo.ini: " + c.reason;
    boxes_.clear();
    const auto start = std::chrono::steady_clock::now();
    {
      const PermissionsCount permissions;  // root, too, meets the permission bits
      ASSERT_EQ(plugin_.SwitchOn(), 1);
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    ASSERT_EQ(boxes_.size(), 1u);
    const std::string& box = boxes_[0];
    const std::string first = "Error : could not open config file\n";
    ASSERT_EQ(box.substr(0, first.size()), first);
    const std::string advice = box.substr(first.size());
    if (CodePoints(full) <= 120) {
      EXPECT_EQ(advice, full);
    } else {
      EXPECT_EQ(advice.substr(0, 3), "\u2026") << advice;
      EXPECT_EQ(full.substr(full.size() - (advice.size() - 3)), advice.substr(3));
      EXPECT_LE(CodePoints(advice), 120u) << advice;
      EXPECT_GE(CodePoints(advice), 100u) << advice;
    }
    EXPECT_EQ(ProbeButtons(), (std::array<int, 8>{})) << "the key map keeps its values";
    EXPECT_EQ(ProbeThreshold(), 1000);
    if (heldLock >= 0) close(heldLock);
    heldLock = -1;
  }
}

}  // namespace
