// Loading Kelvo.ini outside a switch-on, and saves the user did not ask for.
#ifndef KELVO_CONFIG_CONFIG_FILE_H
#define KELVO_CONFIG_CONFIG_FILE_H

// Loads Kelvo.ini as switching on does (without the joystick) unless it was
// loaded since the library was: a page built before the first switch-on then
// shows the stored key map, and a change on it keeps the other keys.
void LoadConfIfNeverLoaded();

// Writes Kelvo.ini from the key map; SaveConf() is SaveKeyMap(true). A save
// the user did not ask for (the file created at switch-on, the page's
// normalising save) may create a missing file but never replaces one that
// is there and cannot be read.
void SaveKeyMap(bool askedByUser);

#endif
