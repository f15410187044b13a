#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/result/XpResult.h"
#include "platform/sync/XpNamedObjectFile.h"
#include "platform/sync/XpNamedObjectKind.h"
#include "platform/sync/XpNamedObjectPath.h"

// One named object as this process holds it: one open file description,
// shared by every handle of the process that names the object.
struct XpNamedObjectRecord {
  std::string path;
  XpNamedObjectKind kind = XpNamedObjectKind::kMutex;
  // The process that opened the file; a forked child must not use it.
  pid_t pid = 0;
  int fd = -1;
  // Handles of this process; changed under the table's lock.
  int handles = 1;

  // Guards the ownership below and orders the state changes of this
  // process's threads.
  std::mutex mutex;
  // The thread that owns the mutex (0 = no thread of this process) and how
  // often it took it.
  uint32_t owner = 0;
  uint32_t recursion = 0;

  XpNamedObjectFile File() const { return XpNamedObjectFile(fd); }
};

// What a create asks for when it makes the object new.
struct XpNamedObjectInit {
  XpNamedObjectKind kind = XpNamedObjectKind::kMutex;
  bool initiallyOwned = false;
  XpNamedObjectFile::State state;
};

// The named objects this process has open, one record per name.
class XpNamedObjectTable {
 public:
  static XpNamedObjectTable& Instance();

  // Opens the object, making it new when nobody holds it; *existed tells
  // which. An existing object keeps its state and owner.
  [[nodiscard]] XpResult Create(const XpNamedObjectLocation& location,
                                const XpNamedObjectInit& init, XpNamedObjectRecord** record,
                                bool* existed);
  // Opens an object that somebody holds; kXpErrFileNotFound otherwise.
  [[nodiscard]] XpResult Open(const XpNamedObjectLocation& location, XpNamedObjectKind kind,
                              XpNamedObjectRecord** record);
  // Lets go of one handle; the last one closes the file, which drops every
  // lock of this process on it.
  void Close(XpNamedObjectRecord* record);

  // False for a record that a forked child inherited from its parent.
  static bool IsUsable(const XpNamedObjectRecord* record);

 private:
  XpNamedObjectTable();

  void CloseInheritedFiles();
  void DropInheritedRecords();
  XpNamedObjectRecord* Find(const std::string& path);
  [[nodiscard]] XpResult Insert(XpNamedObjectRecord* record);

  std::mutex mutex_;
  pid_t pid_;
  std::map<std::string, XpNamedObjectRecord*> records_;
};
