// A capture driven the way a person drives it: real pointer clicks and key
// presses through the X server (GDK's test calls), while the capture listens
// in its own main loop. What must hold: the prompt is drawn before the
// joystick is read, Esc and a second click cancel, Delete clears, nothing
// else on the host takes a click, and the host's own timeouts keep running.
#include <gdk/gdkkeysyms.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "gtk_helpers/window_picture.h"
#include "tests/ui/capture_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class CaptureEventsTest : public CapturePageTest {
 protected:
  bool Prompting() { return TextOf(Key(0)) == kPromptA; }
  // A real click on key A; once the prompt shows, whilePrompting runs, and
  // the main loop goes on until the capture has ended (the label no longer
  // shows the prompt). One watcher both notes the prompt and acts on it, so
  // an action that ends the capture at once cannot hide the prompt from it.
  void CaptureOnA(const std::function<void()>& whilePrompting) {
    bool prompted = false;
    When seen([&] { return Prompting(); },
              [&] {
                prompted = true;
                whilePrompting();
              });
    ClickForReal(Key(0));
    ASSERT_TRUE(RunUntil([&] { return prompted && !Prompting(); })) << TextOf(Key(0));
    EXPECT_EQ(gtk_grab_get_current(), nullptr) << "the capture let go of its grab";
  }
  void PressKey(guint keyval) { ASSERT_TRUE(::PressKey(host_->window(), keyval)); }
};

TEST_F(CaptureEventsTest, ThePromptIsDrawnBeforeTheJoystickIsRead) {
  // Button 3 is already held: the first read takes it, so the prompt can
  // only be seen if it was drawn before that read.
  ASSERT_TRUE(stick_->SetButton(2, true));
  std::vector<std::string> drawn;
  auto onExpose = +[](GtkWidget* button, GdkEventExpose*, gpointer texts) {
    static_cast<std::vector<std::string>*>(texts)->push_back(TextOf(button));
    return FALSE;
  };
  g_signal_connect(Key(0), "expose-event", G_CALLBACK(onExpose), &drawn);
  ClickForReal(Key(0));
  ASSERT_TRUE(RunUntil([&] { return TextOf(Key(0)) == "A : Button 3"; })) << TextOf(Key(0));
  host_->Settle();
  // The pointer's arrival and the press may redraw the old label first.
  const auto assigned = std::find(drawn.begin(), drawn.end(), "A : Button 3");
  EXPECT_NE(std::find(drawn.begin(), assigned, kPromptA), assigned) << testing::PrintToString(drawn);
  EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({3, 0, 0, 0, 0, 6, 0, 0}, 1000));
  gchar* tip = gtk_widget_get_tooltip_text(Key(0));
  EXPECT_NE(std::string(tip ? tip : "").find("Esc cancels"), std::string::npos);
  g_free(tip);
}

// While it listens, clicks elsewhere on the host do nothing; then the user
// gives up. The label returns and the file is not touched.
TEST_F(CaptureEventsTest, EscOrASecondClickCancelsAndWritesNothing) {
  struct Case {
    const char* how;
    std::function<void()> cancel;
  };
  const Case cases[] = {
      {"Esc", [this] { PressKey(GDK_KEY_Escape); }},
      {"click again", [this] { ClickForReal(Key(0)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    int clicksElsewhere = 0;
    CaptureOnA([&] {
      ClickForReal(ButtonLabelled(host_->page(0), "Save config"));
      ClickForReal(Key(1));
      ++clicksElsewhere;
      // Let those clicks arrive and be refused before cancelling: once the
      // server has answered a round trip, the events it made are queued here.
      gdk_display_sync(gdk_display_get_default());
      while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
      c.cancel();
    });
    EXPECT_EQ(clicksElsewhere, 1);
    EXPECT_EQ(KeyTexts(host_->page(0))[0], "A : Button 1");
    EXPECT_EQ(KeyTexts(host_->page(0))[1], "B : None") << "no second capture started";
    EXPECT_EQ(FileState("Kelvo.ini"), before_) << "neither the capture nor Save config wrote";
    ASSERT_TRUE(stick_->SetButton(3, true));
    EXPECT_EQ(ProbeButtons(), kStartMap);
    ASSERT_TRUE(stick_->Reset());
  }
  EXPECT_TRUE(dialogs_->texts().empty());
}

TEST_F(CaptureEventsTest, DeleteOrBackSpaceClearsTheKeyAndSaves) {
  for (const guint keyval : {guint{GDK_KEY_Delete}, guint{GDK_KEY_BackSpace}}) {
    SCOPED_TRACE(gdk_keyval_name(keyval));
    ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText(kStartMap, 1000)));
    ASSERT_EQ(plugin_.SwitchOn(), 1);
    CaptureOnA([&] { PressKey(keyval); });
    EXPECT_EQ(TextOf(Key(0)), "A : None");
    EXPECT_EQ(ReadFile("Kelvo.ini"), ConfigText({0, 0, 0, 0, 0, 6, 0, 0}, 1000));
    // Button 1 no longer drives A: the host's A bit comes back as passed.
    ASSERT_TRUE(stick_->SetButton(0, true));
    EXPECT_EQ(plugin_.Poll(~0ul) & pad::A, pad::A);
    EXPECT_EQ(plugin_.Poll(0) & pad::A, 0u);
    ASSERT_TRUE(stick_->Reset());
  }
}

// A host that polls from a GTK timeout on its main thread keeps getting
// answers, and its windows keep redrawing, while a capture listens. (What
// the wait costs is measured by scripts/bench.) The bounds hold on a busy
// machine: a 60 Hz poller gets about 120 answers in 2 s.
TEST_F(CaptureEventsTest, TheHostKeepsPollingAndDrawing) {
  ASSERT_TRUE(stick_->SetHat(kHatRight));
  struct Poller {
    Plugin* plugin;
    int answers = 0, wrong = 0;
  } poller{&plugin_};
  auto poll = +[](gpointer data) {
    auto* p = static_cast<Poller*>(data);
    const unsigned long word = p->plugin->Poll(~0ul);
    ++p->answers;
    if ((word & pad::Right) != 0 || (word & pad::A) == 0) ++p->wrong;
    return gboolean{TRUE};
  };
  const guint pollSource = g_timeout_add(16, poll, &poller);
  GtkWidget* tab = gtk_notebook_get_tab_label(host_->notebook(), host_->page(0));
  int tabDrawn = 0;
  auto countExpose = +[](GtkWidget*, GdkEventExpose*, gpointer n) {
    ++*static_cast<int*>(n);
    return FALSE;
  };
  g_signal_connect(tab, "expose-event", G_CALLBACK(countExpose), &tabDrawn);
  const guint redraw = g_timeout_add(
      100,
      +[](gpointer w) {
        gtk_widget_queue_draw(GTK_WIDGET(w));
        return gboolean{TRUE};
      },
      tab);

  Clock::time_point promptAt;
  int answersAtPrompt = 0, drawnAtPrompt = 0;
  When cancel(
      [&] { return promptAt != Clock::time_point{} && Clock::now() - promptAt >= milliseconds(2000); },
      [&] { PressKey(GDK_KEY_Escape); });
  CaptureOnA([&] {
    promptAt = Clock::now();
    answersAtPrompt = poller.answers;
    drawnAtPrompt = tabDrawn;
  });
  g_source_remove(pollSource);
  g_source_remove(redraw);

  EXPECT_GE(poller.answers - answersAtPrompt, 20);
  EXPECT_EQ(poller.wrong, 0);
  EXPECT_GE(tabDrawn - drawnAtPrompt, 3);
  EXPECT_EQ(FileState("Kelvo.ini"), before_);
}

// The page while it listens, saved in the test run's output folder for a
// person to look at (the README's picture of the page is a copy).
TEST_F(CaptureEventsTest, SavesAPictureOfACaptureInProgress) {
  ASSERT_TRUE(WriteFile("Kelvo.ini", ConfigText({3, 4, 9, 10, 5, 6, 1, 0}, 1000)));
  ASSERT_EQ(plugin_.SwitchOn(), 1);
  gtk_widget_hide(host_->window());  // shown again, the page shows the new map
  gtk_window_resize(GTK_WINDOW(host_->window()), 320, 240);
  gtk_widget_show(host_->window());
  host_->Settle();
  mkdir(KELVO_TEST_OUTPUT_DIR, 0755);
  const std::string path = std::string(KELVO_TEST_OUTPUT_DIR) + "/settings_page_capture.png";
  bool saved = false;
  CaptureOnA([&] {
    host_->Settle();
    saved = SaveWindowPng(host_->window(), path);
    PressKey(GDK_KEY_Escape);
  });
  EXPECT_TRUE(saved);
  EXPECT_EQ(TextOf(Key(0)), "A : Button 3");
  std::printf("picture of a capture: %s\n", path.c_str());
}

}  // namespace
