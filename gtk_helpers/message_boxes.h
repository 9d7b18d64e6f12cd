// Message boxes as a person would answer them: each visible GtkMessageDialog
// is read and dismissed with OK.
#ifndef KELVO_GTK_HELPERS_MESSAGE_BOXES_H
#define KELVO_GTK_HELPERS_MESSAGE_BOXES_H

#include <string>
#include <vector>

// Answers every message box shown now and appends their texts to texts, in
// the order GTK lists the windows. Returns how many were answered. Call on
// the GTK thread; from a timeout it also answers a box whose gtk_dialog_run
// is in progress. Their second lines go to secondLines, when given.
int AnswerMessageBoxes(std::vector<std::string>* texts, std::vector<std::string>* secondLines = nullptr);

#endif
