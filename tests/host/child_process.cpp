#include "tests/host/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {
double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}
}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !ended_) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  } else if (pid_ > 0) {
    kill(-pid_, SIGKILL);  // whatever the child left behind in its group
  }
  if (input_ >= 0) close(input_);
  if (output_ >= 0) close(output_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The environment is made before fork: the child only calls what is safe
  // between fork and exec.
  std::vector<std::string> settings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& setting : environment)
      replaced = replaced || entry.compare(0, setting.first.size() + 1, setting.first + "=") == 0;
    if (!replaced) settings.push_back(entry);
  }
  for (const auto& setting : environment) settings.push_back(setting.first + "=" + setting.second);
  std::vector<char*> envp;
  for (std::string& s : settings) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    setpgid(0, 0);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    if (readErrors_) dup2(out[1], STDERR_FILENO);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
  close(in[0]);
  close(out[1]);
  input_ = in[1];
  output_ = out[0];
  return true;
}

bool ChildProcess::Send(const std::string& line) {
  const std::string text = line + "\n";
  return input_ >= 0 && write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

bool ChildProcess::ReadSome(double seconds) {
  if (output_ < 0) return false;
  pollfd p{output_, POLLIN, 0};
  const int ready = poll(&p, 1, static_cast<int>(seconds * 1000));
  if (ready <= 0) return ready == 0 || errno == EINTR;
  char buffer[4096];
  const ssize_t n = read(output_, buffer, sizeof(buffer));
  if (n <= 0) {
    close(output_);
    output_ = -1;
    return false;
  }
  partial_.append(buffer, static_cast<size_t>(n));
  size_t newline;
  while ((newline = partial_.find('\n')) != std::string::npos) {
    lines_.push_back(partial_.substr(0, newline));
    partial_.erase(0, newline + 1);
  }
  return true;
}

bool ChildProcess::FindFrom(size_t start, const std::string& text, size_t* at) const {
  for (size_t i = start; i < lines_.size(); ++i) {
    if (lines_[i].find(text) != std::string::npos) {
      *at = i;
      return true;
    }
  }
  return false;
}

std::string ChildProcess::WaitFor(const std::string& text, double seconds) {
  const double end = Now() + seconds;
  size_t searched = taken_;
  for (;;) {
    size_t at;
    if (FindFrom(searched, text, &at)) {
      taken_ = at + 1;
      return lines_[at];
    }
    searched = lines_.size();
    const double left = end - Now();
    if (left <= 0 || !ReadSome(left)) return "";
  }
}

bool ChildProcess::Arrives(const std::string& text, double seconds) { return Search(taken_, text, seconds); }

bool ChildProcess::Seen(const std::string& text, double seconds) { return Search(0, text, seconds); }

bool ChildProcess::Search(size_t start, const std::string& text, double seconds) {
  const double end = Now() + seconds;
  size_t at;
  while (!FindFrom(start, text, &at)) {
    const double left = end - Now();
    if (left <= 0 || !ReadSome(left)) return false;
  }
  return true;
}

int ChildProcess::WaitExit(double seconds) {
  if (pid_ <= 0) return -1;
  const double end = Now() + seconds;
  while (!ended_) {
    const pid_t done = waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) {
      ended_ = true;
      break;
    }
    if (Now() > end) return -1;
    ReadSome(0.02);  // keeps the child from blocking on a full pipe
  }
  while (ReadSome(0)) {
    if (output_ < 0) break;
    pollfd p{output_, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) break;
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string ChildProcess::Transcript() const {
  std::string text;
  for (const std::string& line : lines_) text += "  | " + line + "\n";
  return text + (partial_.empty() ? "" : "  | " + partial_ + "\n");
}
