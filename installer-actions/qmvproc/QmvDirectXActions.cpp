// The DirectX redistributable of the package, after its licence where the
// installation mode asks for it.

#include <cstddef>
#include <vector>

#include "dsetup/DirectXSetup.h"
#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/qmvproc/DirectXSetupLibrary.h"
#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvActionLog.h"

namespace {

constexpr int32_t kNotInstalled = -999;
constexpr int32_t kYes = 6;
constexpr uint32_t kCallbackOk = 1;
constexpr const char16_t* kRussianLanguage = u"1049";
constexpr const char16_t* kNoLicenceMode = u"1";
constexpr const char16_t* kDirectXFolderName = u"DirectX";
// ProductName is read into 256 units.
constexpr uint32_t kProductNameCapacity = 256;
// A licence text longer than this is taken as empty.
constexpr uint32_t kMaxLicenceUnits = 1u << 20;

// What the properties of the installation ask for.
struct DirectXRequest {
  bool russian = false;
  bool licence = true;
  XpString folder;
};

// Shows nothing and lets the set-up go on.
uint32_t ProgressCallback(uint32_t /*reason*/, uint32_t /*type*/, const char* /*text*/, const char* /*caption*/,
                          void* /*progress*/) {
  return kCallbackOk;
}

// The installer's window that owns the dialogs; none when ProductName cannot
// be read. There are no windows on this system, so the search for the one
// titled "<ProductName> Setup" always comes back empty.
void* getMsiWindowHandle(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  XpString product;
  if (common.GetPropertyMsi(install, u"ProductName", product, kProductNameCapacity) != 0) return nullptr;
  common.LogTitled(u"getMsiWindowHandle()", u"hWnd is NULL");
  return nullptr;
}

bool ReadLanguage(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString language;
  const uint32_t result = common.GetPropertyMsi(install, u"EMBEDDED", language);
  const bool russian = result == 0 && language == kRussianLanguage;
  XpString message;
  if (result != 0) {
    (void)message.Format(u"Return: %d", result);
  } else {
    (void)message.Format(u"Return: %d\nSelectedLanguage: %s\nbRussianLanguage: %d", result, language, russian ? 1 : 0);
  }
  common.LogTitled(u"Language check", message);
  return russian;
}

XpString ReadDirectXFolder(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString source;
  XpString folder;
  const uint32_t result = common.GetPropertyMsi(install, u"SourceDir", source);
  XpString message;
  if (result != 0) {
    (void)message.Format(u"Return: %d", result);
  } else {
    common.CreateTargetFilePath(source, kDirectXFolderName, folder);
    (void)message.Format(u"Return: %d\nMSI folder: %s\nDirectX folder: %s", result, source, folder);
  }
  common.LogTitled(u"DirectX Installer folder", message);
  return folder;
}

void LogWindowTitle(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString title;
  const uint32_t result = common.GetPropertyMsi(install, u"APPNAME", title);
  XpString message;
  if (result != 0) {
    (void)message.Format(u"Return: %d", result);
  } else {
    (void)message.Format(u"Return: %d\ntitle: %s", result, title);
  }
  common.LogTitled(u"Window Title", message);
}

bool ReadLicenceSwitch(InstallerCommonFunction& common, MSIHANDLE install) {
  XpString mode;
  const uint32_t result = common.GetPropertyMsi(install, u"INSTALLMODE", mode);
  const bool licence = !(result == 0 && mode == kNoLicenceMode);
  XpString message;
  if (result != 0) {
    (void)message.Format(u"Return: %d", result);
  } else {
    (void)message.Format(u"Return: %d\ninstall mode: %s\nbEnableEULA: %d", result, mode, licence ? 1 : 0);
  }
  common.LogTitled(u"QMV on Tarn", message);
  return licence;
}

// The Russian licence text. The buffer holds one unit more than the library
// is told, so the text ends whatever the library writes.
XpString RussianLicenceText(const DirectXSetupLibrary& library) {
  const uint32_t units = library.getEulaText(nullptr, 0, kDirectXLanguageRussian);
  if (units > kMaxLicenceUnits) return XpString();
  std::vector<char16_t> buffer(static_cast<size_t>(units) + 1, u'\0');
  (void)library.getEulaText(buffer.data(), units, kDirectXLanguageRussian);
  return XpString(buffer.data());
}

int32_t Install(const DirectXSetupLibrary& library, void* owner, const XpString& folder) {
  return library.setup(owner, folder.CStr(), kDirectXSetupDirectX);
}

int32_t RunSetup(MSIHANDLE install, const DirectXRequest& request, DirectXSetupLibrary& library, void* owner) {
  (void)library.setCallback(&ProgressCallback);
  if (!request.russian) {
    if (request.licence && library.showEula(owner) != kYes) return 0;
    return Install(library, owner, request.folder);
  }
  const XpString text = RussianLicenceText(library);
  if (request.licence && MsiAskUserYesNo(install, u"", text.CStr()) != kYes) return 0;
  return Install(library, owner, request.folder);
}

}  // namespace

extern "C" uint32_t QMV_DirectXInstallControl(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_DirectXInstallControl");
  log.HandleStart(install);
  DirectXRequest request;
  request.russian = ReadLanguage(common, install);
  request.folder = ReadDirectXFolder(common, install);
  LogWindowTitle(common, install);
  request.licence = ReadLicenceSwitch(common, install);
  void* const owner = getMsiWindowHandle(install);
  int32_t result = kNotInstalled;
  DirectXSetupLibrary library;
  if (library.Load(request.folder)) result = RunSetup(install, request, library, owner);
  library.Free();
  XpString message;
  (void)message.Format(u"DirectXInstall Return: %d", result);
  log.HandleEnd(message);
  return 0;
}
