// A program run as a child process for a test: its standard input is ours to
// write, its standard output is read line by line with timeouts, and it is
// killed with its whole process group (the host's gamepad included) when the
// object goes.
#ifndef KELVO_TESTS_HOST_CHILD_PROCESS_H
#define KELVO_TESTS_HOST_CHILD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] with argv, in the current directory, with extra
  // environment settings (NAME, value) on top of ours.
  bool Start(const std::vector<std::string>& argv,
             const std::vector<std::pair<std::string, std::string>>& environment = {});

  // From the next Start on, the child's standard error is read with its
  // standard output, for checking what it says on either.
  void ReadErrorsToo() { readErrors_ = true; }

  // Writes a line (a line feed is added) to the child's standard input.
  bool Send(const std::string& line);
  // Ends the child's standard input.
  void CloseInput();

  // Waits for the next output line, after those already taken, that contains
  // text. Lines passed over are taken too. Gives the line, or "" on timeout
  // or end of output.
  std::string WaitFor(const std::string& text, double seconds = 10);
  // Whether a line containing text arrives within the time, without taking
  // any line: for checking that something has not happened (yet).
  bool Arrives(const std::string& text, double seconds);
  // Whether any line so far, taken or not, or one arriving within the time,
  // contains text: for output of two threads whose order is not fixed.
  bool Seen(const std::string& text, double seconds);

  // Waits for the child to end: its exit status, or -1 when it did not end in
  // time (or ended by a signal).
  int WaitExit(double seconds = 10);

  pid_t pid() const { return pid_; }
  // Everything read so far, for failure messages.
  std::string Transcript() const;

 private:
  // Reads what is there, waiting at most seconds for something; false at end.
  bool ReadSome(double seconds);
  bool Search(size_t start, const std::string& text, double seconds);
  bool FindFrom(size_t start, const std::string& text, size_t* at) const;

  pid_t pid_ = -1;
  int input_ = -1, output_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t taken_ = 0;
  bool ended_ = false;
  bool readErrors_ = false;
  int status_ = 0;
};

#endif
