#pragma once

#include <string>

// The database folders of this process that are scratch copies: their
// owner makes each one durable as a whole before it relies on it, and drops
// it after a crash, so a store opened there writes its flushes straight
// into the files, without a journal and without waiting for the medium.
// Folders are native paths, with or without the closing '/'.
class XdbUnjournaledFolders {
 public:
  static void Add(const std::string& folder);
  static void Remove(const std::string& folder);
  static bool Contains(const std::string& folder);
};
