// Helpers tested directly: the message box. (Saving Kelvo.ini: saving_test.cpp.)
#include <gtk/gtk.h>

#include <string>
#include <vector>

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

// What a box showed, read while it is open.
struct Box {
  std::string title, text, secondary;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  bool modal = false, parentless = false;
  int buttons = 0;
};

gboolean ReadAndDismiss(gpointer data) {
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    Box box;
    gchar *text = nullptr, *secondary = nullptr;
    g_object_get(w->data, "text", &text, "secondary-text", &secondary, "message-type", &box.type, nullptr);
    box.text = text ? text : "";
    box.secondary = secondary ? secondary : "";
    g_free(text);
    g_free(secondary);
    const gchar* title = gtk_window_get_title(GTK_WINDOW(w->data));
    box.title = title ? title : "";
    box.modal = gtk_window_get_modal(GTK_WINDOW(w->data));
    box.parentless = gtk_window_get_transient_for(GTK_WINDOW(w->data)) == nullptr;
    GList* buttons =
        gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(w->data))));
    box.buttons = static_cast<int>(g_list_length(buttons));
    g_list_free(buttons);
    static_cast<std::vector<Box>*>(data)->push_back(box);
    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
  }
  g_list_free(windows);
  return TRUE;
}

TEST(MessageBox, NamesThePlugInAndSaysWhatToDoOnASecondLine) {
  ASSERT_NE(gdk_display_get_default(), nullptr) << "needs an X display";
  struct Case {
    const char* advice;
    const char* secondary;
  };
  const Case cases[] = {
      {"Plug a joystick in, then switch the plug-in on again.",
       "Plug a joystick in, then switch the plug-in on again."},
      {"50% of the time: %s", "50% of the time: %s"},
      {"", ""},
      {nullptr, ""},
  };
  std::vector<Box> seen;
  const guint source = g_timeout_add(10, ReadAndDismiss, &seen);
  for (const Case& c : cases) MessageWithAdvice(c.advice, "Error %i opening the joystick", 0);
  Message("%s", "Error : could not open config file");
  g_source_remove(source);
  ASSERT_EQ(seen.size(), 5u);
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].title, "Kelvo plugin");
    EXPECT_EQ(seen[i].text, i < 4 ? "Error 0 opening the joystick" : "Error : could not open config file");
    EXPECT_EQ(seen[i].secondary, i < 4 ? cases[i].secondary : "");
    EXPECT_EQ(seen[i].type, GTK_MESSAGE_INFO);
    EXPECT_TRUE(seen[i].modal);
    EXPECT_TRUE(seen[i].parentless);
    EXPECT_EQ(seen[i].buttons, 1);
  }
}

}  // namespace
