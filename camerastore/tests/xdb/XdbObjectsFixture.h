#pragma once

#include <dirent.h>
#include <time.h>

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <string>

#include "camerastore/tests/xdb/XdbGlueFixture.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace xdbtest {

// The layer's objects and their mapper, with a camera card in a folder of
// the test and the glue on a scripted machine.
class ObjectsTest : public GlueTest {
 protected:
  void UseTimeZone(const char* zone) {
    SetEnv("TZ", zone);
    ::tzset();
  }

  std::filesystem::path Card() const { return Dir("card"); }
  // The card's folder with its trailing '/'.
  XpString CardRoot() const { return fstest::ToXp(Card()) + u"/"; }
  XpString CardPath(const std::string& relative) const { return fstest::ToXp(Card() / relative); }
  void MakeFile(const std::string& relative) const { fstest::WriteBytes(Card() / relative, "x"); }
  void MakeFolder(const std::string& relative) const { Dir("card/" + relative); }

  // Puts the card's folder in the fake mount table as a FAT volume.
  void MountCard() const {
    testsupport::FakeSysfs fake(Root() / "sysroot");
    fake.AddMount({Card().string(), "vfat", "/dev/sdb1", 8, 17});
  }
};

inline std::u16string Text(const XpString& text) { return std::u16string(text.View()); }

// Switches the whole C library to a locale for one scope.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool Active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

// Counts the folders opened while it is installed.
class OpendirCounter : public XpSysCallsWrapper {
 public:
  OpendirCounter() : XpSysCallsWrapper(XpSysCalls::Current()) { previous_ = XpSysCalls::Install(this); }
  ~OpendirCounter() override { XpSysCalls::Install(previous_); }
  OpendirCounter(const OpendirCounter&) = delete;
  OpendirCounter& operator=(const OpendirCounter&) = delete;

  DIR* Opendir(const char* path) override {
    ++count_;
    return XpSysCallsWrapper::Opendir(path);
  }
  int32_t Count() const { return count_; }

 private:
  XpSysCalls* previous_ = nullptr;
  int32_t count_ = 0;
};

}  // namespace xdbtest
