// The folder in /tmp that holds the virtual joystick's FIFO while the host
// runs: /tmp/kelvo-host-<pid>-XXXXXX. The pid in the name lets a later start
// tell a killed host's folder from a running host's.
#ifndef KELVO_HOST_RUN_FOLDER_H
#define KELVO_HOST_RUN_FOLDER_H

#include <string>

// Removes the folders (and what is in them) of hosts of this user that no
// longer run; returns how many.
int RemoveLeftoverRunFolders();
// Makes this process's folder; "" on failure.
std::string MakeRunFolder();
// Removes a folder made by MakeRunFolder with what is in it.
void RemoveRunFolder(const std::string& folder);

#endif
