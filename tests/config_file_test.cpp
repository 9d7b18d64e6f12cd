// Kelvo.ini: the first start, hand-edited and malformed files, and saves that
// fail part-way.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <dirent.h>

#include <fstream>

#include "tests/support/permissions.h"
#include "tests/support/plugin_fixture.h"
#include "tests/ui/settings_host.h"

namespace {

class ConfigFileTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    AttachJoystick({16, 2, 1});
  }
  // Loads a file over the key map already in memory, as a second switch-on would.
  void LoadOver(const std::string& text) {
    WriteFile("Kelvo.ini", text);
    ASSERT_EQ(plugin_.SwitchOn(), 1);
  }
  int EntriesInDirectory() {
    int count = 0;
    DIR* d = opendir(".");
    while (dirent* e = readdir(d)) count += e->d_name[0] != '.' || std::string(e->d_name).size() > 2;
    closedir(d);
    return count;
  }
};

TEST_F(ConfigFileTest, FirstStartWritesTheDefaultFile) {
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(ReadFile("Kelvo.ini"),
            "Btn0=0\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=1000\n");
  EXPECT_EQ(ProbeButtons(), (std::array<int, 8>{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ProbeThreshold(), 1000);
  EXPECT_TRUE(dialogs_->texts().empty());
}

// Each file is loaded over the key map {1..8} at threshold 1500, so that a
// key whose scan fails shows its old button, and a threshold that is not
// read shows as 1000.
TEST_F(ConfigFileTest, HandEditedAndMalformedFiles) {
  struct Case {
    const char* what;
    const char* text;
    std::array<int, 8> buttons;
    int threshold;
  };
  const std::string valid = ConfigText({8, 7, 6, 5, 4, 3, 2, 1}, 500);
  // clang-format off
  const Case cases[] = {
      {"a well-formed file", valid.c_str(), {8, 7, 6, 5, 4, 3, 2, 1}, 500},
      {"lines by position, not by the index written", "Btn7=2\nBtn6=3\nBtn5=4\nBtn4=5\nBtn3=6\nBtn2=7\nBtn1=8\nBtn0=9\nAxis threshold=1200\n", {2, 3, 4, 5, 6, 7, 8, 9}, 1200},
      {"hexadecimal and octal", "Btn0=0x0A\nBtn1=010\nBtn2=+3\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=0x5DC\n", {10, 8, 3, 0, 0, 0, 0, 0}, 1500},
      {"only the threshold line", "Axis threshold=1500\n", {1, 2, 3, 4, 5, 6, 7, 8}, 1500},
      {"only the key lines", "Btn0=2\nBtn1=2\nBtn2=2\nBtn3=2\nBtn4=2\nBtn5=2\nBtn6=2\nBtn7=2\n", {2, 2, 2, 2, 2, 2, 2, 2}, 1000},
      // Btn0's scan skips the line feed and fails at "Btn1", which the next scan reads.
      {"a line ending after its equals sign", "Btn0=\nBtn1=5\nBtn2=6\nBtn3=7\nBtn4=8\nBtn5=9\nBtn6=10\nBtn7=11\nAxis threshold=500\n", {1, 5, 6, 7, 8, 9, 10, 11}, 500},
      {"a blank before the equals sign", "Btn0=9\nBtn1 =9\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n", {9, 2, 3, 4, 5, 6, 7, 8}, 1000},
      {"a blank after the equals sign", "Btn0= 9\nBtn1=  10\nBtn2=3\nBtn3=4\nBtn4=5\nBtn5=6\nBtn6=7\nBtn7=8\nAxis threshold= 500\n", {9, 10, 3, 4, 5, 6, 7, 8}, 500},
      {"08 is octal 0, then the scans stop at the 8", "Btn0=9\nBtn1=08\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n", {9, 0, 3, 4, 5, 6, 7, 8}, 1000},
      {"a lone minus sign", "Btn0=-\nBtn1=9\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
      {"carriage returns and line feeds", "Btn0=9\r\nBtn1=10\r\nBtn2=11\r\nBtn3=12\r\nBtn4=13\r\nBtn5=14\r\nBtn6=15\r\nBtn7=16\r\nAxis threshold=500\r\n", {9, 10, 11, 12, 13, 14, 15, 16}, 500},
      {"blank lines and spaces between lines", "Btn0=9\n\n  Btn1=10\n\t\nBtn2=11\nBtn3=12\nBtn4=13\nBtn5=14\nBtn6=15\nBtn7=16\n\n\nAxis threshold=500", {9, 10, 11, 12, 13, 14, 15, 16}, 500},
      {"white space before the first line", "\nBtn0=9\nBtn1=9\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
      // Saturated to the int range, as the 32-bit build reads them: no key
      // gets a usable button and no push reaches the threshold.
      {"numbers beyond the int range", "Btn0=4294967299\nBtn1=-4294967295\nBtn2=0x100000005\nBtn3=99999999999999999999\nBtn4=5\nBtn5=6\nBtn6=7\nBtn7=8\nAxis threshold=2147483648\n", {0, 0, 0, 0, 5, 6, 7, 8}, 32768},
      {"an empty file", "", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
      {"lower-case names", "btn0=9\n", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
      {"binary junk", "\x01\xff\x7f=Btn0=\xc3", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
  };
  // clang-format on
  const std::string base = ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1500);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LoadOver(base);
    LoadOver(c.text);
    EXPECT_EQ(ProbeButtons(), c.buttons);
    EXPECT_EQ(ProbeThreshold(), c.threshold);
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(ConfigFileTest, LoadingNeverRewritesAnExistingFile) {
  const std::string odd = "Btn0=0x0A\nBtn1=\nAxis threshold=777\n";
  LoadOver(odd);
  EXPECT_EQ(ReadFile("Kelvo.ini"), odd);
}

// The disk fills up while the first file is written: no truncated file is
// left behind, the user is told, and the values in memory keep working.
TEST_F(ConfigFileTest, AFullDiskLeavesNoPartialFile) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{40, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const int before = EntriesInDirectory();
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  ASSERT_EQ(dialogs_->texts().size(), 1u);
  EXPECT_EQ(dialogs_->texts()[0], "Error : could not open config file");
  EXPECT_FALSE(FileExists("Kelvo.ini"));
  EXPECT_EQ(EntriesInDirectory(), before) << "no temporary file is left behind";
  EXPECT_EQ(ProbeThreshold(), 1000);

  // Space again: the next switch-on writes the file.
  limit = {RLIM_INFINITY, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1000));
}

// What is at Kelvo.ini, followed link by link: type, mode and inode of each
// step, and the bytes of a regular file at the end.
std::string Shape() {
  std::string shape, path = "Kelvo.ini";
  for (int step = 0; step < 4; ++step) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return shape + "missing";
    shape += std::to_string(st.st_mode) + "/" + std::to_string(st.st_ino) + " ";
    if (S_ISREG(st.st_mode)) return shape + ReadFile(path);
    if (!S_ISLNK(st.st_mode)) return shape;
    char target[256] = {};
    if (readlink(path.c_str(), target, sizeof(target) - 1) < 0) return shape;
    path = target;
  }
  return shape;
}

// Every shape Kelvo.ini can take, met by a switch-on, the page built after
// it (whose normalising save is automatic) and the user's "Save config".
// Only a missing file is created; one that cannot be read is reported and
// left alone until the user asks for a save; a FIFO or device never blocks
// and is never replaced; links are followed only as the kernel allows.
class FileShapeTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({16, 2, 1});
  }
};

const std::string kStored = ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1500);

bool MakeWithMode(mode_t mode) { return WriteFile("Kelvo.ini", kStored) && chmod("Kelvo.ini", mode) == 0; }

// fs.protected_symlinks: a link owned by someone else in a sticky
// world-writable directory is not followed, not even for root.
bool ProtectedSymlinksOn() {
  std::ifstream setting("/proc/sys/fs/protected_symlinks");
  int on = 0;
  return (setting >> on) && on != 0;
}

TEST_F(FileShapeTest, OnlyAMissingFileIsCreatedAndOnlyTheUserReplacesAnUnreadableOne) {
  enum Save { kWrites, kRefused };
  struct Case {
    const char* what;
    bool (*make)();  // false: the shape cannot be made here
    bool loadFails;  // switching on shows the message and keeps the defaults
    bool pageFails;  // building the page shows the message
    Save userSave;   // what "Save config" does
  };
  const Case cases[] = {
      {"missing", [] { return true; }, false, false, kWrites},
      {"a dangling link (its target is created)", [] { return symlink("made.ini", "Kelvo.ini") == 0; }, false,
       false, kWrites},
      {"no read permission (write-only)", [] { return MakeWithMode(0200); }, true, false, kWrites},
      {"no permission at all", [] { return MakeWithMode(0); }, true, false, kRefused},
      // The page's own save finds the file holding its text already.
      {"read-only", [] { return MakeWithMode(0444); }, false, false, kRefused},
      {"read-only in a read-only directory", [] { return MakeWithMode(0444) && chmod(".", 0555) == 0; },
       false, false, kRefused},
      {"a directory", [] { return mkdir("Kelvo.ini", 0755) == 0; }, true, false, kRefused},
      {"a FIFO", [] { return mkfifo("Kelvo.ini", 0666) == 0; }, true, false, kRefused},
      {"a link to a FIFO", [] { return mkfifo("pipe", 0666) == 0 && symlink("pipe", "Kelvo.ini") == 0; },
       true, false, kRefused},
      {"a link to a device node",
       [] {
         // A node of its own (the null device) where allowed, else the system's.
         const bool own = mknod("device", S_IFCHR | 0666, makedev(1, 3)) == 0;
         return symlink(own ? "device" : "/dev/null", "Kelvo.ini") == 0;
       },
       true, false, kRefused},
      {"a file whose reads fail (I/O error)", [] { return symlink("/proc/self/mem", "Kelvo.ini") == 0; },
       true, false, kRefused},
      {"a link to itself", [] { return symlink("Kelvo.ini", "Kelvo.ini") == 0; }, true, false, kRefused},
      {"a link the kernel refuses to follow (fs.protected_symlinks)",
       [] {
         return ProtectedSymlinksOn() && WriteFile("victim.ini", kStored) && chmod(".", 01777) == 0 &&
                symlink("victim.ini", "Kelvo.ini") == 0 && lchown("Kelvo.ini", 4242, 4242) == 0;
       },
       true, false, kRefused},
  };
  const std::vector<std::string> noMessage;
  const std::vector<std::string> message{"Error : could not open config file"};
  size_t shown = 0;
  auto messagesSince = [&] {
    const std::vector<std::string>& texts = dialogs_->texts();
    std::vector<std::string> recent(texts.begin() + static_cast<long>(shown), texts.end());
    shown = texts.size();
    return recent;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      // Every key unassigned and the threshold 1000 before each case.
      const ScratchDir reset;
      ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1000)));
      ASSERT_EQ(plugin_.SwitchOn(), 1);
    }
    const ScratchDir dir;
    if (!c.make()) {
      std::printf("skipped, cannot be made here: %s\n", c.what);
      continue;
    }
    const std::string before = Shape();
    // Root, too, meets the permission bits.
    auto asUser = [](auto action) {
      const PermissionsCount permissions;
      action();
    };

    asUser([&] { EXPECT_EQ(plugin_.SwitchOn(), 1); });
    EXPECT_EQ(messagesSince(), c.loadFails ? message : noMessage);
    if (c.loadFails) {
      EXPECT_EQ(ProbeThreshold(), 1000);
      EXPECT_EQ(ProbeButtons(), (std::array<int, 8>{}));
      EXPECT_EQ(Shape(), before) << "nothing written";
    } else {
      EXPECT_NE(ReadFile("Kelvo.ini").find("Axis threshold="), std::string::npos);
    }

    asUser([&] { host_->AddPage(plugin_); });
    EXPECT_EQ(messagesSince(), c.pageFails ? message : noMessage);
    if (c.loadFails || c.pageFails) {
      EXPECT_EQ(Shape(), before) << "the page's own save wrote nothing";
    }

    GtkWidget* save = ButtonLabelled(host_->page(host_->pageCount() - 1), "Save config");
    asUser([&] { gtk_button_clicked(GTK_BUTTON(save)); });
    const std::string expected = ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1000);
    if (c.userSave == kWrites) {
      EXPECT_EQ(messagesSince(), noMessage);
      EXPECT_EQ(ReadFile("Kelvo.ini"), expected);
    } else {
      EXPECT_EQ(messagesSince(), message);
      EXPECT_EQ(Shape(), before) << "the user's save wrote nothing";
    }
  }
}

}  // namespace
