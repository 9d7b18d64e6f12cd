// Reads and dismisses the message boxes the plug-in shows, from inside the
// nested loop of gtk_dialog_run.
#ifndef KELVO_TESTS_DIALOGS_H
#define KELVO_TESTS_DIALOGS_H

#include <string>
#include <vector>

class DialogWatcher {
 public:
  DialogWatcher();
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;

  // Texts of the boxes dismissed so far, in order.
  const std::vector<std::string>& texts() const { return texts_; }
  // Their second lines, in the same order ("" for none).
  const std::vector<std::string>& secondLines() const { return secondLines_; }

 private:
  static int Tick(void* self);
  unsigned source_ = 0;
  std::vector<std::string> texts_;
  std::vector<std::string> secondLines_;
};

#endif
