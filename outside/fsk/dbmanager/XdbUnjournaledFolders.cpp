#include "outside/fsk/dbmanager/XdbUnjournaledFolders.h"

#include <mutex>
#include <set>

namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::set<std::string>& Folders() {
  static std::set<std::string> folders;
  return folders;
}

std::string WithClosingSlash(const std::string& folder) {
  std::string normalized = folder;
  while (!normalized.empty() && normalized.back() == '/') {
    normalized.pop_back();
  }
  return normalized + "/";
}

}  // namespace

void XdbUnjournaledFolders::Add(const std::string& folder) {
  std::lock_guard<std::mutex> hold(Lock());
  Folders().insert(WithClosingSlash(folder));
}

void XdbUnjournaledFolders::Remove(const std::string& folder) {
  std::lock_guard<std::mutex> hold(Lock());
  Folders().erase(WithClosingSlash(folder));
}

bool XdbUnjournaledFolders::Contains(const std::string& folder) {
  std::lock_guard<std::mutex> hold(Lock());
  return Folders().count(WithClosingSlash(folder)) != 0;
}
