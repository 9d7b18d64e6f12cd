// Loading Kelvo.ini outside a switch-on, and saves the user did not ask for.
#ifndef KELVO_CONFIG_CONFIG_FILE_H
#define KELVO_CONFIG_CONFIG_FILE_H

// Loads Kelvo.ini as switching on does (without the joystick) unless it was
// loaded since the library was: a page built before the first switch-on then
// shows the stored key map, and a change on it keeps the other keys.
void LoadConfIfNeverLoaded();

// Writes Kelvo.ini from the key map; SaveConf() is SaveKeyMap(true). A save
// the user did not ask for (the file created at switch-on, the page's
// normalising save) creates a missing file, and replaces one only where the
// nine scans read all of it and it holds other text: a file that cannot be
// read, that holds text the scans stop before, that already holds this text
// or that its user made read-only is left as it is.
void SaveKeyMap(bool askedByUser);

// Text in Kelvo.ini that the scans did not read, as the last look at the
// file found it (its load, or an automatic save); gone once a save writes
// the file.
struct UnreadText {
  int line;       // from 1, where the unread text starts; 0 when there is none
  char text[64];  // that line's first bytes, as in the file
  unsigned keys;  // bit 1 << key for each key whose line gave no value
};
UnreadText LastUnreadText();

#endif
