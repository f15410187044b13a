// The exports: each makes the support object with its handle, logs its
// start and end entries and runs its part.

#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/common/InstallerSpecialFolders.h"
#include "installer-actions/tlvproc/TLVProc.h"
#include "installer-actions/tlvproc/TlvFormerSuite.h"
#include "installer-actions/tlvproc/TlvFormerSuiteRemoval.h"
#include "installer-actions/tlvproc/TlvProgramRelease.h"
#include "installer-actions/tlvproc/TlvTables.h"
#include "platform/fs/XpPathQueries.h"

namespace {

struct KeyFileRow {
  const char16_t* formerFolder;
  const char16_t* dataFolder;
  const char16_t* file;
};

constexpr KeyFileRow kKeyFiles[] = {
    {u"Browser", u"Kavo Corporation/QMV/TempQMVInfo", u"keys.dat"},
    {u"QMVCore", u"Kavo Corporation/QMV/TempQMVInfo", u"keys.dat"},
    {u"QMVCore", u"Kavo Corporation/QMV/TempQMVInfo", u"Connectedkeys.dat"},
};

constexpr const char16_t* kHistoryValues[] = {u"History", u"iProduct_History"};

// "MSI Hundle: <handle>".
XpString HandleText(MSIHANDLE install) {
  XpString text;
  (void)text.Format(u"MSI Hundle: %d", install);
  return text;
}

XpString Named(const char16_t* action, const char16_t* suffix) { return XpString(action) + suffix; }

// Entries with an empty title and "<action> Start" / "<action> End".
void LogStart(InstallerCommonFunction& common, const char16_t* action) {
  common.Log(Named(action, u" Start"), XpString());
}

void LogEnd(InstallerCommonFunction& common, const char16_t* action) {
  common.Log(Named(action, u" End"), XpString());
}

// a '/' b '/' c when below the path limit, else "".
XpString JoinThree(const XpString& a, const XpString& b, const XpString& c) {
  const XpString first = tlv::JoinBounded(a, b);
  return first.IsEmpty() ? XpString() : tlv::JoinBounded(first, c);
}

void CopyKeyFiles(InstallerCommonFunction& common) {
  const XpString former = tlv::ReadFormerFolder(common);
  if (former.IsEmpty()) return;
  XpString data = InstallerGetSpecialFolder(kCsidlCommonAppData, false);
  InstallerCommonFunction::RemoveTrailingChar(data, u'/');
  if (data.IsEmpty()) return;
  for (const KeyFileRow& row : kKeyFiles) {
    const XpString from = JoinThree(former, row.formerFolder, row.file);
    const XpString to = JoinThree(data, row.dataFolder, row.file);
    if (from.IsEmpty() || to.IsEmpty() || !XpFileExists(from)) continue;
    (void)common.CopyFiles(from, to);
  }
}

void CopyHistory(InstallerCommonFunction& common) {
  for (const char16_t* name : kHistoryValues) {
    uint32_t type = 0;
    uint32_t size = 0;
    if (common.QueryLocalMachineValue(tlv::kFormerUninstallKey, name, &type, nullptr, &size) != 0) continue;
    // Exactly the size that was read, odd or even.
    std::vector<uint8_t> data(size);
    if (common.QueryLocalMachineValue(tlv::kFormerUninstallKey, name, &type, data.data(), &size) != 0) continue;
    (void)common.SetRegistryValue(tlv::kProductKey, name, type, data.data(), size);
  }
}

// APPLICATIONROOTDIRECTORY without one trailing '/', or "".
XpString OwnFolder(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString folder;
  if (common.GetPropertyMsi(install, u"APPLICATIONROOTDIRECTORY", folder) != 0) return XpString();
  InstallerCommonFunction::RemoveTrailingChar(folder, u'/');
  return folder;
}

}  // namespace

extern "C" uint32_t TLV_ReleaseSelfRegistModule(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_ReleaseSelfRegistModule";
  InstallerCommonFunction common(install);
  common.Log(u"MSI Hundle", HandleText(install));
  const TlvTables tables = TlvTableReader(common).ReadFromSource(install);
  TlvProgramRelease(common, XpWaitClock::Real()).ReleaseServers(tables.comServers);
  LogEnd(common, kAction);
  return 0;
}

extern "C" uint32_t TLV_ReleaseResidentRegistModule(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_ReleaseResidentRegistModule";
  InstallerCommonFunction common(install);
  common.Log(u"MSI Hundle", HandleText(install));
  TlvProgramRelease(common, XpWaitClock::Real()).ReleaseResidents();
  LogEnd(common, kAction);
  return 0;
}

extern "C" uint32_t TLV_SearchInstallModule(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_SearchInstallModule";
  InstallerCommonFunction common(install);
  common.Log(Named(kAction, u" Start"), HandleText(install));
  const TlvTables tables = TlvTableReader(common).ReadFromSource(install);
  for (const TlvComponentRow& row : tables.components) {
    bool present = common.OpenRegistryKey(XpRegistryRoot::kLocalMachine, row.baseKey + u"\\" + row.subkey) == 0;
    if (present && !row.secondSubkey.IsEmpty()) {
      present = common.OpenRegistryKey(XpRegistryRoot::kLocalMachine, row.baseKey + u"\\" + row.secondSubkey) == 0;
    }
    (void)common.SetPropertyMsi(install, row.property, present ? u"True" : u"False");
  }
  common.Log(Named(kAction, u" End"), HandleText(install));
  return 0;
}

extern "C" uint32_t TLV_DeleteTLVModule(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_DeleteTLVModule";
  InstallerCommonFunction common(install);
  LogStart(common, kAction);
  const TlvTables tables = TlvTableReader(common).ReadFromSource(install);
  const XpString own = OwnFolder(common, install);
  InstallerCommonFunction quiet(0);
  const XpString former = tlv::ReadFormerFolder(quiet);
  if (!former.IsEmpty()) TlvFormerSuiteRemoval(tables, former, own).Run();
  LogEnd(common, kAction);
  return 0;
}

extern "C" uint32_t TLV_CopyTemporaryKeysDat(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_CopyTemporaryKeysDat";
  InstallerCommonFunction common(install);
  LogStart(common, kAction);
  CopyKeyFiles(common);
  LogEnd(common, kAction);
  return 0;
}

extern "C" uint32_t TLV_CopyTLVIDRegistry(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_CopyTLVIDRegistry";
  InstallerCommonFunction common(install);
  LogStart(common, kAction);
  CopyHistory(common);
  LogEnd(common, kAction);
  return 0;
}

extern "C" uint32_t TLV_DeleteTLVIDRegistry(MSIHANDLE install) {
  constexpr const char16_t* kAction = u"TLV_DeleteTLVIDRegistry";
  InstallerCommonFunction common(install);
  LogStart(common, kAction);
  (void)common.DeleteRegistryValue(tlv::kProductKey, u"History");
  (void)common.DeleteRegistryValue(tlv::kProductKey, u"iProduct_History");
  LogEnd(common, kAction);
  return 0;
}

extern "C" uint32_t TLV_SelectCallFunction(MSIHANDLE /*install*/) { return 0; }
