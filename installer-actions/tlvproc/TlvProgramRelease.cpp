#include "installer-actions/tlvproc/TlvProgramRelease.h"

#include "installer-actions/tlvproc/TlvFormerSuite.h"
#include "installer-actions/tlvproc/TlvRunAndWait.h"

namespace {

struct ResidentRow {
  const char16_t* program;
  const char16_t* argument;
};

constexpr ResidentRow kResidents[] = {
    {u"TLVVolumeWatcher.exe", u"/exitall"},
    {u"TLVVolumeWatcher.exe", u"/unregistall"},
    {u"TLVContentAnalyzer.exe", u"/exitall"},
    {u"TLVContentAnalyzer.exe", u"/unregistall"},
};

constexpr const char16_t* kServerKeys[] = {u"LocalServer32", u"InprocServer32"};
constexpr int32_t kProgramServer = 1;
constexpr const char16_t* kProgramEnd = u"exe";
constexpr int32_t kProgramEndLength = 3;
constexpr const char16_t* kRegisterProgram = u"regsvr32.exe";
// A server's command is read into 261 units.
constexpr uint32_t kServerUnits = 261;

}  // namespace

XpString TlvProgramRelease::ServerCommand(int32_t kind, const XpString& registered) {
  XpString command;
  if (kind != kProgramServer) {
    (void)command.Format(u"%s /u /s %c%s%c", kRegisterProgram, u'"', registered, u'"');
    return command;
  }
  // The program ends at the first "exe"; its arguments and closing quote go.
  XpString program = registered;
  const size_t end = program.View().find(kProgramEnd);
  if (end != std::u16string_view::npos) program = program.Left(static_cast<int32_t>(end) + kProgramEndLength);
  if (!program.IsEmpty() && program.CStr()[0] == u'"') program = program.Mid(1);
  (void)command.Format(u"%c%s%c /unregserver", u'"', program, u'"');
  return command;
}

void TlvProgramRelease::ReleaseServers(const std::vector<TlvComServerRow>& servers) {
  for (const TlvComServerRow& row : servers) {
    XpString registered;
    for (const char16_t* serverKey : kServerKeys) {
      char16_t value[kServerUnits] = {};
      uint32_t type = 0;
      uint32_t size = sizeof(value);
      const XpString key = u"CLSID\\" + row.classId + u"\\" + serverKey;
      if (common_.QueryClassesRootValue(key, XpString(), &type, value, &size) != 0) continue;
      registered = value;
      break;
    }
    if (registered.IsEmpty()) continue;
    (void)TlvRunAndWait::Run(ServerCommand(row.kind, registered), clock_);
  }
}

void TlvProgramRelease::ReleaseResidents() {
  const XpString folder = tlv::ReadFormerFolder(common_);
  if (folder.IsEmpty()) return;
  for (const ResidentRow& row : kResidents) {
    XpStringVector found;
    common_.FindFilesRecursive(folder, row.program, found);
    if (found.empty()) continue;
    XpString command;
    (void)command.Format(u"%c%s%c %s", u'"', found.front(), u'"', row.argument);
    XpString title;
    (void)title.Format(u"Execute String: %s", command);
    common_.Log(u"ExecuteTargetExecFile", title);
    (void)TlvRunAndWait::Run(command, clock_);
  }
}
