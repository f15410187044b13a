#include "setup/config/SetupVersionText.h"

#include <array>
#include <string_view>

#include "platform/fs/XpFile.h"

namespace {

constexpr std::string_view kTextEnds("\r\n\0", 3);

}  // namespace

bool ReadVersionText(const XpString& path, XpString* text) {
  if (text == nullptr) return false;
  *text = XpString();
  XpFile file(path);
  if (XpFailed(file.Open(kXpOpenRead))) return false;
  std::array<char, kSetupVersionBytes> bytes{};
  uint64_t done = 0;
  const XpResult read = file.Read(bytes.data(), bytes.size(), &done);
  const XpResult closed = file.Close();
  // A file shorter than the buffer ends the read early; that is no failure.
  if ((XpFailed(read) && read != kXpErrEndOfFile) || XpFailed(closed)) return false;
  std::string_view version(bytes.data(), static_cast<size_t>(done));
  version = version.substr(0, version.find_first_of(kTextEnds));
  const XpString wide = XpString::FromUtf8(version);
  *text = wide.GetLength() > kSetupVersionUnits ? wide.Left(kSetupVersionUnits) : wide;
  return !text->IsEmpty();
}
