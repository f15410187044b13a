// The version text and the shared application registry record.

#include <algorithm>
#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvActionLog.h"
#include "platform/registry/XpRegistryTree.h"

namespace {

constexpr const char16_t* kRecordKey = u"SOFTWARE\\Kavo Corporation\\Shared Info\\AppDB\\QMV";
constexpr const char16_t* kVersionFile = u"Version.txt";
constexpr uint32_t kTextUnits = InstallerCommonFunction::kVersionCapacity;
// The record's texts are written as 522 bytes: the text and zero units after it.
constexpr uint32_t kTextBytes = 522;
constexpr char16_t kAppName[] = u"QMV";

// The record's texts live as long as the library.
char16_t gAppId[kTextUnits];
char16_t gVersion[kTextUnits];

// Fills a record buffer with the text and zero units after it.
void StoreText(const XpString& text, char16_t* buffer) {
  std::fill(buffer, buffer + kTextUnits, u'\0');
  const auto length = std::min<uint32_t>(static_cast<uint32_t>(text.GetLength()), kTextUnits - 1);
  std::copy(text.CStr(), text.CStr() + length, buffer);
}

std::vector<InstallerRegistryRow> RecordRows() {
  return {
      {kRecordKey, u"appid", kXpRegSz, gAppId, kTextBytes},
      {kRecordKey, u"appname", kXpRegSz, kAppName, sizeof(kAppName)},
      {kRecordKey, u"version", kXpRegSz, gVersion, kTextBytes},
  };
}

uint32_t WriteRecord(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString source;
  uint32_t result = common.GetPropertyMsi(install, u"SourceDir", source);
  if (result != 0) return result;
  XpString ini;
  common.CreateTargetFilePath(source, u"ESD.ini", ini);
  XpString text;
  result = common.GetKeyValueIni(ini, u"SoftwareID", u"ID", text, kTextUnits);
  if (result != 0) return result;
  StoreText(text, gAppId);
  result = common.GetVersionString(source, text, kTextUnits);
  if (result != 0) return result;
  StoreText(text, gVersion);
  return common.SetRegistryValueList(RecordRows());
}

}  // namespace

extern "C" uint32_t QMV_CopyVersionText(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_CopyVersionText");
  log.HandleStart(install);
  XpString installed;
  XpString source;
  uint32_t result = common.GetPropertyMsi(install, u"APPLICATIONROOTDIRECTORY", installed);
  if (result == 0) result = common.GetPropertyMsi(install, u"SourceDir", source);
  if (result == 0 && common.IsNotOlderVersion(source, installed) != 0) {
    XpString to;
    XpString from;
    common.CreateTargetFilePath(installed, kVersionFile, to);
    common.CreateTargetFilePath(source, kVersionFile, from);
    result = common.CopyFiles(from, to);
  }
  XpString message;
  (void)message.Format(u"CopyFile Return : %d", result);
  log.HandleEnd(message);
  return 0;
}

extern "C" uint32_t QMV_SetRegistryVersionInfo(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_SetRegistryVersionInfo");
  log.HandleStart(install);
  const uint32_t result = WriteRecord(common, install);
  XpString message;
  (void)message.Format(u"SetRegistryValueList Return : %d", result);
  log.HandleEnd(message);
  return 0;
}

extern "C" uint32_t QMV_DeleteRegistryVersionInfo(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_DeleteRegistryVersionInfo");
  log.HandleStart(install);
  (void)common.DeleteRegistryValueList(RecordRows());
  (void)common.DeleteRegistryKey(kRecordKey);
  log.HandleEnd(QmvActionLog::HandleMessage(install));
  return 0;
}
