// Kelvo.ini: the first start, hand-edited and malformed files, and saves that
// fail part-way.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <dirent.h>

#include "tests/support/plugin_fixture.h"

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
  const Case cases[] = {
      {"a well-formed file", valid.c_str(), {8, 7, 6, 5, 4, 3, 2, 1}, 500},
      {"lines by position, not by the index written",
       "Btn7=2\nBtn6=3\nBtn5=4\nBtn4=5\nBtn3=6\nBtn2=7\nBtn1=8\nBtn0=9\nAxis threshold=1200\n",
       {2, 3, 4, 5, 6, 7, 8, 9},
       1200},
      {"hexadecimal and octal",
       "Btn0=0x0A\nBtn1=010\nBtn2=+3\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=0x5DC\n",
       {10, 8, 3, 0, 0, 0, 0, 0},
       1500},
      {"only the threshold line", "Axis threshold=1500\n", {1, 2, 3, 4, 5, 6, 7, 8}, 1500},
      {"only the key lines",
       "Btn0=2\nBtn1=2\nBtn2=2\nBtn3=2\nBtn4=2\nBtn5=2\nBtn6=2\nBtn7=2\n",
       {2, 2, 2, 2, 2, 2, 2, 2},
       1000},
      {"a line ending after its equals sign",
       "Btn0=\nBtn1=5\nBtn2=6\nBtn3=7\nBtn4=8\nBtn5=9\nBtn6=10\nBtn7=11\nAxis threshold=500\n",
       // Btn0's scan skips the line feed and fails at "Btn1", which the next scan reads.
       {1, 5, 6, 7, 8, 9, 10, 11},
       500},
      {"a blank before the equals sign",
       "Btn0=9\nBtn1 =9\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n",
       {9, 2, 3, 4, 5, 6, 7, 8},
       1000},
      {"a blank after the equals sign",
       "Btn0= 9\nBtn1=  10\nBtn2=3\nBtn3=4\nBtn4=5\nBtn5=6\nBtn6=7\nBtn7=8\nAxis threshold= 500\n",
       {9, 10, 3, 4, 5, 6, 7, 8},
       500},
      {"08 is octal 0, then the scans stop at the 8",
       "Btn0=9\nBtn1=08\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n",
       {9, 0, 3, 4, 5, 6, 7, 8},
       1000},
      {"a lone minus sign",
       "Btn0=-\nBtn1=9\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n",
       {1, 2, 3, 4, 5, 6, 7, 8},
       1000},
      {"carriage returns and line feeds",
       "Btn0=9\r\nBtn1=10\r\nBtn2=11\r\nBtn3=12\r\nBtn4=13\r\nBtn5=14\r\nBtn6=15\r\nBtn7=16\r\nAxis "
       "threshold=500\r\n",
       {9, 10, 11, 12, 13, 14, 15, 16},
       500},
      {"blank lines and spaces between lines",
       "Btn0=9\n\n  Btn1=10\n\t\nBtn2=11\nBtn3=12\nBtn4=13\nBtn5=14\nBtn6=15\nBtn7=16\n\n\nAxis "
       "threshold=500",
       {9, 10, 11, 12, 13, 14, 15, 16},
       500},
      {"white space before the first line",
       "\nBtn0=9\nBtn1=9\nBtn2=9\nBtn3=9\nBtn4=9\nBtn5=9\nBtn6=9\nBtn7=9\nAxis threshold=500\n",
       {1, 2, 3, 4, 5, 6, 7, 8},
       1000},
      {"an empty file", "", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
      {"lower-case names", "btn0=9\n", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
      {"binary junk", "\x01\xff\x7f=Btn0=\xc3", {1, 2, 3, 4, 5, 6, 7, 8}, 1000},
  };
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

}  // namespace
