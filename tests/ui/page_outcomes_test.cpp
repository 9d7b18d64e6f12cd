// How a click on key A ends, in a host that runs gtk_main: the host quitting
// or destroying the window mid-capture, Esc typed with the focus in another
// window (also once another program has let go of the keyboard it held when
// the capture began), and the boxes a click without a joystick shows. Every
// row checks that the capture let go of everything it took, and that each
// box was shown once: the host answers every box twice in one go, as a host
// that answers boxes from more than one place may.
#include <gdk/gdkkeysyms.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "gtk_helpers/message_boxes.h"
#include "tests/ui/capture_fixture.h"

namespace {

// How the world is when key A is clicked, and what happens while it listens.
enum class Start { kPad, kPadFocusElsewhere, kKeyboardHeldElsewhere, kPadNotSwitchedOn, kNoPad };
enum class Act { kNothing, kHostQuits, kDestroy, kDestroyAndQuit, kEscElsewhere, kPressFailingSave };

struct OutcomeRow {
  const char* what;
  Start start;
  Act act;
  std::vector<std::string> boxes;
  const char* adviceHas;    // in every box's second line
  const char* adviceLacks;  // in none
  const char* label;        // key A's afterwards; null where its page is gone
};

void PrintTo(const OutcomeRow& row, std::ostream* out) { *out << row.what; }

// A watchdog long past "at once": a host's main loop still running then (a
// capture still listening, or a quit lost) is ended, and the row fails.
constexpr guint kWatchdogMs = 5000;

// Another program holding the keyboard: a second connection to the X server,
// a client of its own, grabbing it for a window of its own.
class KeyboardHeldByAnotherClient {
 public:
  ~KeyboardHeldByAnotherClient() {
    if (window_ != nullptr) gdk_window_destroy(window_);
    if (display_ != nullptr) gdk_display_close(display_);
  }
  // False while yet another client holds the keyboard.
  bool Take() {
    if (display_ == nullptr) {
      display_ = gdk_display_open(gdk_display_get_name(gdk_display_get_default()));
      if (display_ == nullptr) return false;
      GdkWindowAttr attributes{};
      attributes.x = 800;
      attributes.width = attributes.height = 10;
      attributes.wclass = GDK_INPUT_OUTPUT;
      attributes.window_type = GDK_WINDOW_TOPLEVEL;
      window_ = gdk_window_new(gdk_screen_get_root_window(gdk_display_get_default_screen(display_)),
                               &attributes, GDK_WA_X);
      gdk_window_show(window_);
      gdk_display_sync(display_);
    }
    return gdk_keyboard_grab(window_, FALSE, GDK_CURRENT_TIME) == GDK_GRAB_SUCCESS;
  }
  void LetGo() {
    if (display_ == nullptr) return;
    gdk_display_keyboard_ungrab(display_, GDK_CURRENT_TIME);
    gdk_display_sync(display_);
  }

 private:
  GdkDisplay* display_ = nullptr;
  GdkWindow* window_ = nullptr;
};

// Whether this process holds the keyboard for the widget's window.
bool HoldsTheKeyboard(GtkWidget* widget) {
  GdkWindow* holder = nullptr;
  gboolean ownerEvents = FALSE;
  return gdk_keyboard_grab_info_libgtk_only(gdk_display_get_default(), &holder, &ownerEvents) &&
         holder == gtk_widget_get_window(gtk_widget_get_toplevel(widget));
}

class PageOutcomesTest : public PageTest, public testing::WithParamInterface<OutcomeRow> {
 public:
  // What the row does once the prompt shows.
  void WhileListening(Act act) {
    if (act == Act::kDestroy || act == Act::kDestroyAndQuit) host_.reset();
    if (act == Act::kHostQuits || act == Act::kDestroyAndQuit) gtk_main_quit();
    if (act == Act::kEscElsewhere) PressKey(other_, GDK_KEY_Escape);
    if (act == Act::kPressFailingSave) PressUnderAFileSizeLimit();
  }
  // Presses button 4 under a file size limit below Kelvo.ini's, so that the
  // save the capture makes fails (writes past the limit fail with EFBIG).
  void PressUnderAFileSizeLimit() {
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &savedLimit_), 0);
    limited_ = true;
    rlimit small = savedLimit_;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(stick_->SetButton(3, true));
  }

 protected:
  void SetUp() override {
    PageTest::SetUp();
    dialogs_.reset();  // this test answers the boxes itself
    answerer_ = g_timeout_add(5, AnswerTwice, this);
  }
  void TearDown() override {
    g_source_remove(answerer_);
    if (other_ != nullptr) gtk_widget_destroy(other_);
    if (limited_) setrlimit(RLIMIT_FSIZE, &savedLimit_);
  }
  // Answers every box shown, then answers again at once: a box answered
  // once must be gone.
  static gboolean AnswerTwice(gpointer self) {
    auto* test = static_cast<PageOutcomesTest*>(self);
    AnswerMessageBoxes(&test->boxes_, &test->secondLines_);
    AnswerMessageBoxes(&test->boxes_, &test->secondLines_);
    return TRUE;
  }
  // A window of another window group (another dialog of the host, say),
  // clear of the page, given the keyboard focus.
  void FocusElsewhere() {
    other_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_group_add_window(gtk_window_group_new(), GTK_WINDOW(other_));
    gtk_window_move(GTK_WINDOW(other_), 600, 0);
    gtk_widget_set_size_request(other_, 100, 100);
    gtk_widget_show(other_);
    host_->Settle();
    gdk_window_focus(gtk_widget_get_window(other_), GDK_CURRENT_TIME);
    host_->Settle();
  }

  GtkWidget* other_ = nullptr;
  rlimit savedLimit_{};
  bool limited_ = false;
  guint answerer_ = 0;
  std::vector<std::string> boxes_, secondLines_;
};

TEST_P(PageOutcomesTest, ACaptureEndsSoundly) {
  const OutcomeRow& row = GetParam();
  GtkWarningCounter warnings;
  if (row.start != Start::kNoPad) AttachJoystick({12, 2, 1});
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kStartMap, 1000)));
  if (row.start != Start::kPadNotSwitchedOn) {
    ASSERT_EQ(plugin_.SwitchOn(), 1);
  }
  gtk_window_move(GTK_WINDOW(host_->window()), 0, 0);
  ASSERT_EQ(host_->AddPage(plugin_), 0);
  const bool elsewhere = row.start == Start::kPadFocusElsewhere || row.start == Start::kKeyboardHeldElsewhere;
  if (elsewhere) FocusElsewhere();
  KeyboardHeldByAnotherClient otherClient;
  if (row.start == Start::kKeyboardHeldElsewhere) {
    ASSERT_TRUE(
        RunUntil([&otherClient] { return otherClient.Take(); }, std::chrono::milliseconds(kWatchdogMs)));
  }
  host_->Settle();
  const std::string before = FileState("Kelvo.ini");
  GtkWidget* key = ChildNamed(host_->page(0), kKeyButtonNames[0]);
  g_object_ref(key);  // read after its page may be gone

  struct Run {
    PageOutcomesTest* test;
    const OutcomeRow* row;
    GtkWidget* key;
    bool watchdogFired = false;
  } run{this, &row, key};
  // Esc elsewhere reaches the capture through its hold on the keyboard,
  // which it takes once the other program has let go.
  When letGo([key] { return TextOf(key) == kPromptA; }, [&otherClient] { otherClient.LetGo(); });
  When prompted([key, elsewhere] { return TextOf(key) == kPromptA && (!elsewhere || HoldsTheKeyboard(key)); },
                [&run] { run.test->WhileListening(run.row->act); });
  auto watchdog = +[](gpointer data) {
    auto* r = static_cast<Run*>(data);
    r->watchdogFired = true;
    if (TextOf(r->key) == kPromptA) gtk_button_clicked(GTK_BUTTON(r->key));
    gtk_main_quit();
    return gboolean{FALSE};
  };
  const guint watchdogSource = g_timeout_add(kWatchdogMs, watchdog, &run);
  // The click comes from the host's main loop.
  auto click = +[](gpointer data) {
    auto* r = static_cast<Run*>(data);
    gtk_button_clicked(GTK_BUTTON(r->key));
    if (r->row->act != Act::kHostQuits && r->row->act != Act::kDestroyAndQuit) gtk_main_quit();
    return gboolean{FALSE};
  };
  g_idle_add(click, &run);
  gtk_main();
  if (!run.watchdogFired) g_source_remove(watchdogSource);

  EXPECT_FALSE(run.watchdogFired) << "the host's main loop still ran after " << kWatchdogMs << " ms";
  if (row.act != Act::kNothing) {
    EXPECT_TRUE(prompted.done());
  }
  EXPECT_EQ(gtk_grab_get_current(), nullptr) << "no grab is left to freeze the host";
  GdkWindow* grabbed = nullptr;
  gboolean ownerEvents = FALSE;
  EXPECT_FALSE(gdk_keyboard_grab_info_libgtk_only(gdk_display_get_default(), &grabbed, &ownerEvents))
      << "the keyboard is let go";
  if (row.label != nullptr) {
    EXPECT_EQ(TextOf(key), row.label);
  }
  g_object_unref(key);
  EXPECT_EQ(FileState("Kelvo.ini"), before);
  EXPECT_EQ(warnings.count(), 0) << warnings.last();
  EXPECT_EQ(boxes_, row.boxes);
  for (const std::string& advice : secondLines_) {
    if (row.adviceHas != nullptr) {
      EXPECT_NE(advice.find(row.adviceHas), std::string::npos) << advice;
    }
    if (row.adviceLacks != nullptr) {
      EXPECT_EQ(advice.find(row.adviceLacks), std::string::npos) << advice;
    }
  }
}

constexpr char kUnchanged[] = "A : Button 1";

// Switched on, the plug-in picks up a pad by itself: the advice is then to
// plug one in, never to switch on again. A failed save keeps the key
// assigned in memory and the file as it was. Destroying the window and
// quitting in one handler is how a host's Quit often goes.
const OutcomeRow kRows[] = {
    {"TheHostQuits", Start::kPad, Act::kHostQuits, {}, nullptr, nullptr, kUnchanged},
    {"TheWindowIsDestroyed", Start::kPad, Act::kDestroy, {}, nullptr, nullptr, nullptr},
    {"TheWindowIsDestroyedAndTheHostQuits", Start::kPad, Act::kDestroyAndQuit, {}, nullptr, nullptr, nullptr},
    {"EscWithTheFocusElsewhere",
     Start::kPadFocusElsewhere,
     Act::kEscElsewhere,
     {},
     nullptr,
     nullptr,
     kUnchanged},
    {"EscOnceAnotherProgramLetsGoOfTheKeyboard",
     Start::kKeyboardHeldElsewhere,
     Act::kEscElsewhere,
     {},
     nullptr,
     nullptr,
     kUnchanged},
    {"BeforeTheFirstSwitchOn",
     Start::kPadNotSwitchedOn,
     Act::kNothing,
     {"No joystick is open"},
     "Switch the plug-in on",
     nullptr,
     kUnchanged},
    {"SwitchedOnWithoutAPad",
     Start::kNoPad,
     Act::kNothing,
     {"Error 0 opening the joystick", "No joystick is open"},
     "by itself",
     "the plug-in on",
     kUnchanged},
    {"TheSaveFails",
     Start::kPad,
     Act::kPressFailingSave,
     {"Error : could not open config file"},
     "Kelvo.ini could not be written: ",
     nullptr,
     "A : Button 4"},
};

INSTANTIATE_TEST_SUITE_P(Rows, PageOutcomesTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<OutcomeRow>& info) {
                           return std::string(info.param.what);
                         });

}  // namespace
