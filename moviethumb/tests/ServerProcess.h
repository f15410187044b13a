#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/movie/XpImageIoMovieInternal.h"
#include "moviethumb/tests/MovieServerTestSupport.h"

namespace moviethumb_test {

// The built TLVMPThumb as a child over two pipes; its standard error goes
// to a file. Exit is the status it ended with, or -1 when it was killed.
class ServerProcess {
 public:
  ServerProcess() = default;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess() {
    CloseInput();
    CloseOutput();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }

  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::filesystem::path& stderrPath, const std::string& workingFolder = "") {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const int failed =
        ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    output_ = fromChild[0];
    stderrPath_ = stderrPath;
    if (failed != 0) pid_ = -1;
    return failed == 0;
  }

  pid_t Pid() const { return pid_; }

  bool Send(const Bytes& bytes) {
    return input_ >= 0 && XpMoviePipeWriteAll(input_, bytes.data(), bytes.size());
  }
  // Reads exactly count bytes in pieces of at most piece bytes.
  bool Receive(Bytes* bytes, size_t count, size_t piece = 4096) {
    bytes->assign(count, 0);
    for (size_t done = 0; done < count;) {
      const size_t want = std::min(piece, count - done);
      if (!XpMoviePipeReadAll(output_, bytes->data() + done, want, nullptr)) return false;
      done += want;
    }
    return true;
  }
  MovieToken ReceiveToken() {
    Bytes token;
    if (!Receive(&token, kMovieTokenBytes)) return MovieToken::kUnknown;
    return MovieFramePipe::DecodeToken(token.data());
  }
  // True when the server wrote nothing more before closing its output.
  bool OutputEnded() {
    uint8_t byte = 0;
    return ::read(output_, &byte, 1) == 0;
  }
  void CloseInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }
  void CloseOutput() {
    if (output_ >= 0) ::close(output_);
    output_ = -1;
  }
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ErrorText() const {
    std::ifstream file(stderrPath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::filesystem::path stderrPath_;
};

// The nice value of a process from /proc/PID/stat; -100 when unreadable.
inline int NiceOf(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -100;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  // After the name: state is field 3; nice is field 19.
  for (int i = 3; i < 19 && fields >> field; ++i) {
  }
  int nice = -100;
  fields >> nice;
  return nice;
}

}  // namespace moviethumb_test
