// Kelvo.ini as its user left it: what opening Properties (the page's own
// save) and "Save config" do to a file that is read-only, linked, shared,
// carries ACL entries or extended attributes, holds hand edits that the load
// does not read, or was made by root in the user's folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tests/support/permissions.h"
#include "tests/support/plugin_fixture.h"
#include "tests/ui/gtk_events.h"
#include "tests/ui/settings_host.h"

namespace {

#ifdef SYS_setresuid32  // the 32-bit build's calls with 32-bit IDs
constexpr long kSetResUid = SYS_setresuid32, kSetResGid = SYS_setresgid32, kSetGroups = SYS_setgroups32;
#else
constexpr long kSetResUid = SYS_setresuid, kSetResGid = SYS_setresgid, kSetGroups = SYS_setgroups;
#endif

constexpr uid_t kUser = 65534;   // the saver in rows of another user
constexpr uid_t kOwner = 4242;   // the owner of a shared file
constexpr gid_t kShared = 4343;  // the group both share

// While one lives, this thread acts as another user. The kernel checks each
// thread's own credentials, and the raw calls change this thread's alone
// (glibc's wrappers change every thread's); the saved IDs stay root's, so
// the destructor can come back.
class AsUser {
 public:
  AsUser(uid_t uid, gid_t gid) {
    const gid_t groups[] = {gid, kShared};
    ok_ = geteuid() == 0 && syscall(kSetGroups, 2, groups) == 0 && syscall(kSetResGid, -1, gid, -1) == 0 &&
          syscall(kSetResUid, -1, uid, -1) == 0;
  }
  ~AsUser() {
    const gid_t root = 0;
    syscall(kSetResUid, -1, 0, -1);
    syscall(kSetResGid, -1, 0, -1);
    syscall(kSetGroups, 1, &root);
  }
  AsUser(const AsUser&) = delete;
  AsUser& operator=(const AsUser&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

const std::string kStored = ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1200);
const std::string kNormalised = ConfigText({1, 2, 3, 4, 5, 6, 7, 8}, 1000);
const std::string kUnassigned = ConfigText({0, 0, 0, 0, 0, 0, 0, 0}, 1000);
std::string aclBefore;  // the file's ACL as the row made it

std::string Xattr(const char* name) {
  char value[1024];
  const ssize_t n = getxattr("Kelvo.ini", name, value, sizeof(value));
  return n < 0 ? "" : std::string(value, static_cast<size_t>(n));
}

// Runs a tool of the acl or attr package on Kelvo.ini; these rows never
// skip, so a missing tool fails them.
const char* Run(const std::string& command) {
  return std::system((command + " Kelvo.ini").c_str()) == 0 ? nullptr
                                                            : "the tool failed (acl, attr installed?)";
}

const char* GiveAnAcl() {
  const char* failed = Run("setfacl -m u:4242:rw,g::r,m::rw");
  aclBefore = Xattr("system.posix_acl_access");
  return failed != nullptr ? failed : aclBefore.empty() ? "no ACL was set" : nullptr;
}

bool Owner(uid_t uid) {
  struct stat st;
  return stat("Kelvo.ini", &st) == 0 && st.st_uid == uid;
}

enum Actor { kRoot, kWithoutOverride, kOtherUser };

struct Case {
  const char* name;
  std::string text;        // Kelvo.ini as its user left it
  const char* (*make)();   // null when the row is ready, else why it failed
  Actor who;               // who opens Properties and saves
  std::string afterPage;   // the file once the page is built
  int unreadLine;          // the line the tooltips name; 0: none
  const char* shownLine;   // how they show it
  unsigned unreadKeys;     // the keys whose buttons name it
  std::string afterSave;   // the file after "Save config"
  const char* secondLine;  // the end of the save's message box; null: none
  const char* (*kept)();   // null, or what the user lost
};

const Case kCases[] = {
    {"ReadOnlyFile", kStored, [] { return chmod("Kelvo.ini", 0444) == 0 ? nullptr : "chmod"; },
     kWithoutOverride, kStored, 0, "", 0, kStored, "Kelvo.ini could not be written: Kelvo.ini is read-only",
     [] { return Owner(0) ? nullptr : "the owner changed"; }},
    {"HoldingTheTextAlready", kNormalised,
     [] {
       const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
       return utimensat(AT_FDCWD, "Kelvo.ini", hourAgo, 0) == 0 ? nullptr : "utimensat";
     },
     kRoot, kNormalised, 0, "", 0, kNormalised, nullptr,
     [] {
       struct stat st;
       const bool rewritten = stat("Kelvo.ini", &st) == 0 && st.st_mtime > time(nullptr) - 600;
       return rewritten ? nullptr : "Save config did not rewrite the file";
     }},
    {"SecondHardLink", kStored, [] { return link("Kelvo.ini", "linked.ini") == 0 ? nullptr : "link"; }, kRoot,
     kNormalised, 0, "", 0, kNormalised, nullptr,
     [] { return ReadFile("linked.ini") == kNormalised ? nullptr : "the second name holds the old text"; }},
    {"AnotherUsersSharedFile", kStored,
     [] {
       // A folder anyone may write in: a rename there would take the file over.
       return chmod(".", 0777) == 0 && chown("Kelvo.ini", kOwner, kShared) == 0 &&
                      chmod("Kelvo.ini", 0660) == 0
                  ? nullptr
                  : "the shared file cannot be made";
     },
     kOtherUser, kNormalised, 0, "", 0, kNormalised, nullptr,
     [] {
       const AsUser owner(kOwner, kOwner);
       return !Owner(kOwner)                  ? "the owner changed"
              : ReadFile("Kelvo.ini").empty() ? "its owner cannot read it"
                                              : nullptr;
     }},
    {"AclEntries", kStored, GiveAnAcl, kRoot, kNormalised, 0, "", 0, kNormalised, nullptr,
     [] { return Xattr("system.posix_acl_access") == aclBefore ? nullptr : "the ACL changed"; }},
    {"ExtendedAttribute", kStored, [] { return Run("setfattr -n user.origin -v by-hand"); }, kRoot,
     kNormalised, 0, "", 0, kNormalised, nullptr,
     [] { return Xattr("user.origin") == "by-hand" ? nullptr : "the attribute is gone"; }},
    {"ByteOrderMark", "\xEF\xBB\xBF" + kStored, nullptr, kRoot, "\xEF\xBB\xBF" + kStored, 1,
     "\"(byte-order mark)Btn0=1\"", 0xFF, kUnassigned, nullptr, nullptr},
    {"BlanksAroundAnEqualsSign", "Btn0=1\nBtn1=2\nBtn2 = 3\n" + kStored.substr(21), nullptr, kRoot,
     "Btn0=1\nBtn1=2\nBtn2 = 3\n" + kStored.substr(21), 3, "\"Btn2 = 3\"", 0xFC,
     ConfigText({1, 2, 0, 0, 0, 0, 0, 0}, 1000), nullptr, nullptr},
    {"LeadingComment", "# my pad\n" + kStored, nullptr, kRoot, "# my pad\n" + kStored, 1, "\"# my pad\"",
     0xFF, kUnassigned, nullptr, nullptr},
    {"LowerCaseNames", "btn0=1\nbtn1=2\n", nullptr, kRoot, "btn0=1\nbtn1=2\n", 1, "\"btn0=1\"", 0xFF,
     kUnassigned, nullptr, nullptr},
    {"MadeByRootInTheUsersFolder", kNormalised,
     [] { return chown(".", kUser, kUser) == 0 ? nullptr : "the folder cannot be given to the user"; },
     kOtherUser, kNormalised, 0, "", 0, kNormalised, nullptr,
     [] { return Owner(kUser) ? nullptr : "not the user's file"; }},
    {"MadeByRootWithAnAclInTheUsersFolder", kNormalised,
     [] { return chown(".", kUser, kUser) == 0 ? GiveAnAcl() : "the folder cannot be given to the user"; },
     kOtherUser, kNormalised, 0, "", 0, kNormalised, nullptr,
     [] { return Xattr("system.posix_acl_access") == aclBefore ? nullptr : "the ACL changed"; }},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Tooltip(GtkWidget* widget) {
  gchar* tip = widget != nullptr ? gtk_widget_get_tooltip_text(widget) : nullptr;
  const std::string text = tip != nullptr ? tip : "";
  g_free(tip);
  return text;
}

class UserFileCases : public PageTest, public testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    AttachJoystick({16, 2, 1});
  }

  // Runs the action as the row's user, or says why that user cannot be had.
  template <typename Action>
  void As(Actor who, Action action) {
    if (who == kWithoutOverride) {
      const PermissionsCount permissions;
      return action();
    }
    if (who == kRoot) return action();
    const AsUser user(kUser, kUser);
    if (!user.ok()) GTEST_SKIP() << "this machine refuses to act as user " << kUser << " here";
    action();
  }

  // The notes of text not read, as the page shows them now.
  void ExpectNotes(GtkWidget* page, int line, const char* shown, unsigned keys) {
    const std::string note = "Line " + std::to_string(line) + " of Kelvo.ini was not read: " + shown;
    for (int key = 0; key < 8; ++key) {
      const bool named = Tooltip(ChildNamed(page, kKeyButtonNames[key])).find(note) != std::string::npos;
      EXPECT_EQ(named, line > 0 && (keys >> key & 1) != 0) << "key " << key;
    }
    const std::string save = Tooltip(ButtonLabelled(page, "Save config"));
    if (line == 0) {
      EXPECT_EQ(save, "");
    } else {
      EXPECT_NE(save.find(note), std::string::npos) << save;
      EXPECT_NE(save.find("will not rewrite the file by itself"), std::string::npos) << save;
    }
  }
};

TEST_P(UserFileCases, OpeningPropertiesThenSaveConfig) {
  const Case& c = GetParam();
  ASSERT_TRUE(WriteFile("Kelvo.ini", c.text));
  if (c.make != nullptr) {
    const char* failed = c.make();
    ASSERT_EQ(failed, nullptr) << failed;
  }
  struct stat made;
  ASSERT_EQ(stat("Kelvo.ini", &made), 0);
  ASSERT_EQ(plugin_.SwitchOn(), 1);

  As(c.who, [&] {
    host_->AddPage(plugin_);
    host_->Settle();
  });
  if (IsSkipped()) return;
  EXPECT_EQ(dialogs_->texts().size(), 0u) << "opening Properties shows no box";
  EXPECT_EQ(ReadFile("Kelvo.ini"), c.afterPage);
  struct stat built;
  ASSERT_EQ(stat("Kelvo.ini", &built), 0);
  if (c.afterPage == c.text) {
    EXPECT_EQ(built.st_ino, made.st_ino);
    EXPECT_EQ(built.st_mtim.tv_sec, made.st_mtim.tv_sec) << "the page wrote the file";
  }
  GtkWidget* page = host_->page(0);
  ExpectNotes(page, c.unreadLine, c.shownLine, c.unreadKeys);

  As(c.who, [&] {
    gtk_button_clicked(GTK_BUTTON(ButtonLabelled(page, "Save config")));
    host_->Settle();
  });
  EXPECT_EQ(ReadFile("Kelvo.ini"), c.afterSave);
  if (c.secondLine == nullptr) {
    EXPECT_EQ(dialogs_->texts().size(), 0u);
  } else {
    ASSERT_EQ(dialogs_->secondLines().size(), 1u);
    const std::string& second = dialogs_->secondLines()[0];
    EXPECT_EQ(second.substr(second.size() - std::min(second.size(), std::strlen(c.secondLine))),
              c.secondLine);
  }
  if (c.unreadLine > 0) {
    // Once written, the file holds nothing unread: the notes go.
    EXPECT_TRUE(RunUntil([&] { return Tooltip(ButtonLabelled(page, "Save config")).empty(); }));
    ExpectNotes(page, 0, "", 0);
  }
  if (c.kept != nullptr) {
    const char* lost = c.kept();
    EXPECT_EQ(lost, nullptr) << lost;
  }
}

INSTANTIATE_TEST_SUITE_P(KelvoIni, UserFileCases, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
