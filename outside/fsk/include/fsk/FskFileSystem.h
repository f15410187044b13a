#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The file-system interface under the FskFile calls. Each call returns 0 or
// an errno value. The runtime picks the file system of a path by the
// longest mounted prefix; "/" is the POSIX file system, which reaches the
// operating system through XpSysCalls::Current().
class FskOpenFile {
 public:
  virtual ~FskOpenFile() = default;
  // Moves up to count bytes at offset; done tells how many moved. Reading
  // at the end moves 0 bytes and returns 0.
  virtual int ReadAt(int64_t offset, void* buffer, size_t count, size_t* done) = 0;
  virtual int WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done) = 0;
  virtual int GetSize(int64_t* size) = 0;
  // Extending fills with zeros.
  virtual int SetSize(int64_t size) = 0;
  virtual int Close() = 0;
};

class FskFileSystem {
 public:
  virtual ~FskFileSystem() = default;
  // permission: 0 read only, 1 read and write.
  virtual int Open(const char* path, uint32_t permission, std::unique_ptr<FskOpenFile>* out) = 0;
  // Makes a new empty file; EEXIST when there is one.
  virtual int Create(const char* path) = 0;
  virtual int Delete(const char* path) = 0;
};

// Routes paths that begin with prefix to fileSystem, which must outlive the
// mount. Mounting a prefix again replaces it.
void FskFileMount(const char* prefix, FskFileSystem* fileSystem);
// Removes a mount; unmounting "/" puts the POSIX file system back.
void FskFileUnmount(const char* prefix);
