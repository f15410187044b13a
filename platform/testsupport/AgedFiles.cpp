#include "platform/testsupport/AgedFiles.h"

#include <sys/stat.h>

#include <string_view>
#include <utility>

namespace testsupport {

AgedFiles::AgedFiles(std::string marker, std::chrono::seconds age)
    : XpSysCallsWrapper(XpSysCalls::Current()), marker_(std::move(marker)), age_(age) {
  XpSysCalls::Install(this);
}

AgedFiles::~AgedFiles() { XpSysCalls::Install(&Target()); }

int AgedFiles::Stat(const char* path, struct stat* out) {
  return Age(path, XpSysCallsWrapper::Stat(path, out), out);
}

int AgedFiles::Lstat(const char* path, struct stat* out) {
  return Age(path, XpSysCallsWrapper::Lstat(path, out), out);
}

int AgedFiles::Age(const char* path, int status, struct stat* out) const {
  if (status == 0 && std::string_view(path).find(marker_) != std::string_view::npos) {
    out->st_mtim.tv_sec -= age_.count();
    out->st_ctim.tv_sec -= age_.count();
  }
  return status;
}

}  // namespace testsupport
