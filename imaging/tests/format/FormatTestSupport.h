#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "imaging/format/XpFormatCheckerHooks.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/format/ContainerBuilders.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace formattest {

// A fixture whose files live in the test's own folder.
class FormatTest : public testsupport::HermeticTest {
 protected:
  XpString PathIn(const std::string& name) const;
  // Writes bytes as the file name; returns its path.
  XpString WriteFile(const std::string& name, const Bytes& bytes) const;
  // A JPEG of a small picture written by the JPEG writer with the tags.
  XpString WriteJpeg(const std::string& name, std::unique_ptr<XpTiffTagManager> tags) const;
  // A plain JPEG without any APP block.
  XpString WritePlainJpeg(const std::string& name) const;
};

// IFD 0 and an Exif IFD holding DateTimeOriginal when date is not empty
// and, when marked, a marked maker note with tag 4096 UNDEFINED 01.
std::unique_ptr<XpTiffTagManager> ExifTags(const std::string& date, bool marked);

// "YYYY-MM-DD hh:mm:ss", or "not valid".
std::string DateText(const XpDateTime& date);

// Installs a hooks table for as long as it lives, then puts the previous
// one back.
class ScopedHooks {
 public:
  explicit ScopedHooks(const XpFormatCheckerHooks::Table& table)
      : previous_(XpFormatCheckerHooks::Install(table)) {}
  ~ScopedHooks() { XpFormatCheckerHooks::Install(previous_); }
  ScopedHooks(const ScopedHooks&) = delete;
  ScopedHooks& operator=(const ScopedHooks&) = delete;

 private:
  XpFormatCheckerHooks::Table previous_;
};

}  // namespace formattest
