#pragma once

#include <cstdint>
#include <vector>

#include "setup/config/XpPath.h"

// The suite's configuration holders, as setup carries them: their members
// and destructors only. Nothing in setup makes one.

class SfCommonConfiguration {
 public:
  explicit SfCommonConfiguration(const XpPath& path = XpPath()) : path_(path) {}
  virtual ~SfCommonConfiguration();
  const XpPath& GetPath() const { return path_; }

 private:
  XpPath path_;
};

class SfImportConfiguration {
 public:
  explicit SfImportConfiguration(const XpPath& path = XpPath()) : path_(path) {}
  virtual ~SfImportConfiguration();
  const XpPath& GetPath() const { return path_; }

 private:
  XpPath path_;
};

class SfBrowserConfiguration {
 public:
  using Buffer = std::vector<uint8_t>;

  SfBrowserConfiguration(Buffer first = Buffer(), Buffer second = Buffer());
  virtual ~SfBrowserConfiguration();
  const Buffer& GetFirstBuffer() const { return first_; }
  const Buffer& GetSecondBuffer() const { return second_; }

 private:
  Buffer first_;
  Buffer second_;
};

class SfContentAnalyzerConfiguration {
 public:
  virtual ~SfContentAnalyzerConfiguration();
};
