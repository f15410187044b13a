#pragma once

#include <filesystem>
#include <new>
#include <string>

#include "platform/fs/XpDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/path/XpPath.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/text/XpString.h"

namespace dcftest {

// A test whose camera volume is a folder of its own: the volume root is
// that folder with its trailing '/'.
class VolumeTest : public testsupport::HermeticTest {
 protected:
  std::filesystem::path Volume() const { return Dir("volume"); }
  XpString VolumePath() const { return fstest::ToXp(Volume()) + u"/"; }

  // Folders and files below the volume, with their missing parents.
  std::filesystem::path MakeFolder(const std::string& relative) const {
    return Dir("volume/" + relative);
  }
  void MakeFile(const std::string& relative, const std::string& bytes = "") const {
    fstest::WriteBytes(Volume() / relative, bytes);
  }

  // The real folder as an enumeration would hand it out.
  static XpSharedPtr<XpAbstractFSObj> FolderEntry(const std::filesystem::path& path) {
    return XpSharedPtr<XpAbstractFSObj>(new XpDir(fstest::ToXp(path)));
  }
};

inline XpString LeafOf(const XpAbstractFSObj& entry) { return XpPathGetLeafName(entry.GetPath()); }

}  // namespace dcftest
