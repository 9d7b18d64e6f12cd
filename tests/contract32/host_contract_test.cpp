// The 32-bit host's view of libKelvo.so, from outside: the library is loaded
// with dlopen, the five entry points are resolved by name, and every record is
// a byte buffer with its fields written at the host's 32-bit offsets. Nothing
// here includes the plug-in's own declarations, so a layout slip on either
// side cannot cancel out.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/dialogs.h"
#include "virtual_joystick/virtual_joystick.h"

static_assert(sizeof(void*) == 4, "these offsets are the 32-bit host's");

namespace {

// _get_pluginfo
constexpr size_t kType = 4, kName = 12, kGuid = 20, kGetInfoEnd = 36;
// _set_pluginfo
constexpr size_t kStateMask = 8, kState = 12, kSetInfoEnd = 16;
// SETPROPPLUGIN
constexpr size_t kNotebook = 0;

constexpr uint8_t kFill = 0xA5;
constexpr uint8_t kGuidBytes[16] = {0xC4, 0xCD, 0x29, 0x82, 0xAB, 0x89, 0xCF, 0x45,
                                    0xBA, 0x01, 0x3F, 0xB8, 0x7A, 0xD9, 0x17, 0xE9};
constexpr char kDisplayName[] = "Kelvo plugin 1.6.1";

typedef int32_t (*RecordFunc)(void*);
typedef int32_t (*NoArgFunc)();

struct Library {
  void* handle = nullptr;
  RecordFunc GetInfoFunc = nullptr, SetInfoFunc = nullptr, RunFunc = nullptr, SetPropertyFunc = nullptr;
  NoArgFunc DeleteFunc = nullptr;
};

Library Load() {
  const char* path = getenv("KELVO_LIBRARY");
  if (path == nullptr) path = KELVO_CONTRACT_LIBRARY;
  Library lib;
  lib.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (lib.handle == nullptr) {
    ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
    return lib;
  }
  lib.GetInfoFunc = reinterpret_cast<RecordFunc>(dlsym(lib.handle, "GetInfoFunc"));
  lib.SetInfoFunc = reinterpret_cast<RecordFunc>(dlsym(lib.handle, "SetInfoFunc"));
  lib.RunFunc = reinterpret_cast<RecordFunc>(dlsym(lib.handle, "RunFunc"));
  lib.SetPropertyFunc = reinterpret_cast<RecordFunc>(dlsym(lib.handle, "SetPropertyFunc"));
  lib.DeleteFunc = reinterpret_cast<NoArgFunc>(dlsym(lib.handle, "DeleteFunc"));
  return lib;
}

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}
uint32_t Get32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// Offsets in [from, to) that no longer hold the fill byte.
std::vector<size_t> Touched(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  std::vector<size_t> touched;
  for (size_t i = from; i < to; ++i)
    if (bytes[i] != kFill) touched.push_back(i);
  return touched;
}

std::string ReadText(const char* path) {
  std::ifstream in(path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool Exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

class Contract32 : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvo-contract32-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    lib_ = Load();
    ASSERT_NE(lib_.GetInfoFunc, nullptr);
    ASSERT_NE(lib_.SetInfoFunc, nullptr);
    ASSERT_NE(lib_.RunFunc, nullptr);
    ASSERT_NE(lib_.SetPropertyFunc, nullptr);
    ASSERT_NE(lib_.DeleteFunc, nullptr);
  }
  void TearDown() override {
    stick_.reset();
    if (chdir("/") == 0) (void)!system(("rm -rf '" + dir_ + "'").c_str());
  }
  void AttachJoystick() {
    stick_.reset(new VirtualJoystick(dir_ + "/js0", {12, 2, 1}));
    ASSERT_TRUE(stick_->ok());
  }
  // Switches on through a record with the enable bit at offsets 8 and 12.
  int32_t SwitchOn() {
    std::vector<uint8_t> set(kSetInfoEnd, 0);
    Put32(set, kStateMask, 1);
    Put32(set, kState, 1);
    return lib_.SetInfoFunc(set.data());
  }

  std::string dir_;
  Library lib_;
  std::unique_ptr<VirtualJoystick> stick_;
};

TEST_F(Contract32, GetInfoWritesTypeNameAndIdentifierAndNothingElse) {
  std::vector<uint8_t> record(64, kFill);
  std::vector<uint8_t> name(64, kFill);
  uint8_t* namePointer = name.data();
  std::memcpy(record.data() + kName, &namePointer, 4);

  EXPECT_EQ(lib_.GetInfoFunc(record.data()), 1);

  EXPECT_EQ(Get32(record, kType), 4u);
  EXPECT_EQ(0, std::memcmp(record.data() + kGuid, kGuidBytes, 16));
  EXPECT_EQ(0, std::memcmp(record.data() + kName, &namePointer, 4)) << "name pointer changed";
  EXPECT_EQ(Touched(record, 0, kType), std::vector<size_t>{});
  EXPECT_EQ(Touched(record, kType + 4, kName), std::vector<size_t>{});
  EXPECT_EQ(Touched(record, kName + 4, kGuid), std::vector<size_t>{});
  EXPECT_EQ(Touched(record, kGetInfoEnd, record.size()), std::vector<size_t>{});
  // The name with its NUL: 19 bytes, and not one more.
  EXPECT_EQ(0, std::memcmp(name.data(), kDisplayName, sizeof kDisplayName));
  EXPECT_EQ(Touched(name, sizeof kDisplayName, name.size()), std::vector<size_t>{});
}

TEST_F(Contract32, GetInfoWithANullNameWritesTypeAndIdentifierOnly) {
  std::vector<uint8_t> record(64, kFill);
  Put32(record, kName, 0);

  EXPECT_EQ(lib_.GetInfoFunc(record.data()), 1);

  EXPECT_EQ(Get32(record, kType), 4u);
  EXPECT_EQ(Get32(record, kName), 0u);
  EXPECT_EQ(0, std::memcmp(record.data() + kGuid, kGuidBytes, 16));
  EXPECT_EQ(Touched(record, kGetInfoEnd, record.size()), std::vector<size_t>{});
}

TEST_F(Contract32, SetInfoTestsBitZeroOfTheWordsAtOffsets8And12Only) {
  AttachJoystick();
  DialogWatcher boxes;
  struct Row {
    uint32_t hostWords;  // offsets 0 and 4, which the plug-in does not read
    uint32_t stateMask, state;
    bool switchesOn;
  };
  const Row rows[] = {
      {0, 1, 1, true},
      {0xFFFFFFFF, 1, 1, true},
      {0xFFFFFFFF, 0, 0, false},
      {0, 0, 1, false},
      {0, 1, 0, false},
      {0, 0xFFFFFFFE, 0xFFFFFFFF, false},
      {0, 0xFFFFFFFF, 0xFFFFFFFE, false},
      {0, 0x80000001, 0x00000003, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << "host words 0x" << row.hostWords << ", stateMask 0x"
                                    << row.stateMask << ", state 0x" << row.state);
    unlink("Kelvo.ini");
    std::vector<uint8_t> record(kSetInfoEnd + 16, kFill);
    Put32(record, 0, row.hostWords);
    Put32(record, 4, row.hostWords);
    Put32(record, kStateMask, row.stateMask);
    Put32(record, kState, row.state);
    const std::vector<uint8_t> before = record;

    EXPECT_EQ(lib_.SetInfoFunc(record.data()), 1);

    // Switching on reads Kelvo.ini, and writes it when it is missing.
    EXPECT_EQ(Exists("Kelvo.ini"), row.switchesOn);
    EXPECT_EQ(record, before) << "the record was written";
  }
  EXPECT_EQ(lib_.SetInfoFunc(nullptr), 0);
  EXPECT_EQ(boxes.texts(), std::vector<std::string>{});
}

TEST_F(Contract32, SwitchingOnWithoutAJoystickSaysSoAndWritesTheDefaultFile) {
  setenv("SDL_JOYSTICK_DEVICE", (dir_ + "/no-such-device").c_str(), 1);
  DialogWatcher boxes;

  EXPECT_EQ(SwitchOn(), 1);

  EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Error 0 opening the joystick"});
  EXPECT_EQ(ReadText("Kelvo.ini"),
            "Btn0=0\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=0\nAxis threshold=1000\n");
}

// The pad word is the host's 4-byte unsigned long: the plug-in writes those
// four bytes and not the word after it.
TEST_F(Contract32, RunRewritesOneFourBytePadWord) {
  // A on button 1, Y on button 12, the others unassigned.
  std::ofstream("Kelvo.ini") << "Btn0=1\nBtn1=0\nBtn2=0\nBtn3=0\nBtn4=0\nBtn5=0\nBtn6=0\nBtn7=12\n"
                                "Axis threshold=1000\n";
  AttachJoystick();
  DialogWatcher boxes;
  ASSERT_EQ(SwitchOn(), 1);
  ASSERT_EQ(boxes.texts(), std::vector<std::string>{});
  ASSERT_TRUE(stick_->SetButton(0, true));  // A held
  ASSERT_TRUE(stick_->SetAxis(0, 32767));   // Right held

  constexpr uint32_t A = 0x1, Y = 0x20000, Up = 0x40, Down = 0x80, Left = 0x20, Right = 0x10;
  constexpr uint32_t written = A | Y | Up | Down | Left | Right;
  constexpr uint32_t released = Y | Up | Down | Left;  // bits set: not held
  for (uint32_t in : {0xFFFFFFFFu, 0x00000000u, 0xA5A5A5A5u, 0x5A5A5A5Au}) {
    SCOPED_TRACE(testing::Message() << std::hex << "word in 0x" << in);
    std::vector<uint8_t> words(8, kFill);
    Put32(words, 0, in);

    EXPECT_EQ(lib_.RunFunc(words.data()), 1);

    EXPECT_EQ(Get32(words, 0), (in & ~written) | released);
    EXPECT_EQ(Touched(words, 4, 8), std::vector<size_t>{}) << "wrote past the 4-byte pad word";
  }
}

TEST_F(Contract32, SetPropertyAppendsItsPageToTheNotebookAtOffset0) {
  GtkWidget* notebook = gtk_notebook_new();
  g_object_ref_sink(notebook);
  std::vector<uint8_t> record(16, kFill);
  std::memcpy(record.data() + kNotebook, &notebook, 4);
  const std::vector<uint8_t> before = record;

  EXPECT_EQ(lib_.SetPropertyFunc(record.data()), 0);

  EXPECT_EQ(record, before);
  ASSERT_EQ(gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook)), 1);
  GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), 0);
  const gchar* tab = gtk_notebook_get_tab_label_text(GTK_NOTEBOOK(notebook), page);
  EXPECT_STREQ(tab, "Kelvo Plugin Config");
  g_object_unref(notebook);
}

TEST_F(Contract32, DeleteReturnsOneAfterUse) {
  std::vector<uint8_t> record(64, kFill);
  Put32(record, kName, 0);
  ASSERT_EQ(lib_.GetInfoFunc(record.data()), 1);
  EXPECT_EQ(lib_.DeleteFunc(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display; running them does.
  if (!testing::GTEST_FLAG(list_tests) && !gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "no display: run under xvfb-run\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
