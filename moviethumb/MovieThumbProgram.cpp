#include "moviethumb/MovieThumbProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "framework/suite/SfSuiteRegistry.h"
#include "imaging/movie/XpMoviePluginManager.h"
#include "moviethumb/MovieExtractServer.h"
#include "moviethumb/MovieServerArguments.h"

namespace {

// The nice value of a below-normal priority.
constexpr int kBelowNormalNice = 5;
// The protocol's descriptors are moved above the standard ones.
constexpr int kFirstPrivateFd = 3;
constexpr const char* kNullDevice = "/dev/null";
constexpr const char* kProgramName = "TLVMPThumb";

// Raises this process's nice value to below normal; never lowers it. A
// refused change is ignored.
void LowerPriority() {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  if (errno != 0 || nice >= kBelowNormalNice) return;
  (void)::setpriority(PRIO_PROCESS, 0, kBelowNormalNice);
}

struct ProtocolFds {
  int input = -1;
  int output = -1;
};

// Keeps the protocol on private close-on-exec copies of descriptors 0 and
// 1, then points 1 at 2 and 0 at /dev/null, so that whatever a plug-in
// prints can never fall into a reply.
ProtocolFds MoveProtocolOffStandardFds() {
  ProtocolFds fds;
  fds.input = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, kFirstPrivateFd);
  fds.output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, kFirstPrivateFd);
  if (fds.input < 0 || fds.output < 0) return fds;
  (void)::dup2(STDERR_FILENO, STDOUT_FILENO);
  const int null = ::open(kNullDevice, O_RDONLY | O_CLOEXEC);
  if (null >= 0) {
    (void)::dup2(null, STDIN_FILENO);
    if (null != STDIN_FILENO) ::close(null);
  }
  return fds;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

int RunMovieThumb(const XpStringVector& argv) {
  const MovieServerArguments arguments = ParseMovieServerArguments(argv);
  if (!arguments.run) return kMovieThumbExitOk;
  if (arguments.lowPriority) LowerPriority();
  const XpString folder = arguments.useDefaultFolder ? SfGetMoviePluginFolder() : arguments.folder;

  (void)::signal(SIGPIPE, SIG_IGN);
  const ProtocolFds fds = MoveProtocolOffStandardFds();
  if (fds.input < 0 || fds.output < 0) {
    std::fprintf(stderr, "%s: cannot take over standard input and output\n", kProgramName);
    CloseFd(fds.input);
    CloseFd(fds.output);
    return kMovieThumbExitBroken;
  }
  MovieServerEnd end = MovieServerEnd::kQuit;
  std::string failure;
  {
    XpMoviePluginManager plugins(folder);
    MovieExtractServer server(fds.input, fds.output,
                              [&plugins](const XpString& path, XpFormatKind kind,
                                         IMoviePluginReader** reader) {
                                return plugins.OpenPropertyReader(path, kind, reader);
                              });
    end = server.Run();
    failure = server.GetFailure();
  }
  CloseFd(fds.input);
  CloseFd(fds.output);
  if (end != MovieServerEnd::kBroken) return kMovieThumbExitOk;
  std::fprintf(stderr, "%s: %s\n", kProgramName, failure.c_str());
  return kMovieThumbExitBroken;
}
