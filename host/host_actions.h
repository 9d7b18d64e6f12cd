// What the host does on a button or a command, kept by kelvo_host.cpp.
// GTK thread.
#ifndef KELVO_HOST_HOST_ACTIONS_H
#define KELVO_HOST_HOST_ACTIONS_H

#include <string>

// Ends the main loop; message boxes open now or later are answered, since
// each would keep a loop of its own running.
void RequestQuit();
// Starts the gamepad again after it was closed.
void StartGamepad();
// Calls SetInfoFunc with the enable bit again, and shows the joystick found.
void SwitchOnAgain();

// Runs one command line from the command channel (host_commands.cpp).
void RunHostCommand(const std::string& line);
// Runs the commands that came before the host's window existed.
void RunCommandsWaitingForTheWindow();

#endif
