#include "framework/suite/SfSuiteRegistry.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "framework/app/XfAppRegistry.h"
#include "framework/suite/SfContentInfoXML.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/registry/XpRegistry.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/volume/XpFilePathConverter.h"

namespace {

constexpr const char16_t* kCurrentVersionValue = u"CurrentVersion";
constexpr const char16_t* kInstalledLocationValue = u"InstalledLocation";
constexpr const char16_t* kExeNameValue = u"ExeName";
constexpr const char16_t* kKeySeparator = u"\\";

constexpr const char16_t* kBrowserProgram = u"Browser";
constexpr const char16_t* kBrowserFolder = u"Browser";
constexpr const char16_t* kBrowserExe = u"TLVBrowser.exe";
constexpr const char16_t* kAnnounceProgram = u"Announce";
constexpr const char16_t* kAnnounceFolder = u"Announce";
constexpr const char16_t* kAnnounceExe = u"TLVAnnounce.exe";
constexpr const char16_t* kDiscImporterProgram = u"Importer\\Disc";
constexpr const char16_t* kGlobalSettingsProgram = u"GlobalSettings";
constexpr const char16_t* kHDDAccessorProgram = u"Accessor/HDD1";

constexpr const char16_t* kCountryOrAreaCodeValue = u"CountryOrAreaCode";
constexpr const char16_t* kDiskCachePathValue = u"Configuration_diskCachePath";
constexpr const char16_t* kTempFolderValue = u"Tempfolder";
constexpr const char16_t* kSettingsKey = u"Settings";
constexpr const char16_t* kRegisteredFoldersKey = u"RegisteredFolders";
constexpr const char16_t* kRegisteredFoldersList = u"Folder";
constexpr const char16_t* kHDDAccessorSettingsFormat =
    u"Software\\Kavo Corporation\\Kavo Telvane\\Accessor/HDD1\\%s\\OneTouch\\Settings";

constexpr const char16_t* kMakerFolder = u"Kavo Corporation";
constexpr const char16_t* kSuiteFolder = u"Kavo Telvane";
constexpr const char16_t* kExtToolsFolder = u"ExtTools";
constexpr const char16_t* kImportDataFolder = u"ImportData";
constexpr const char16_t* kUploaderFolder = u"Uploader";
constexpr const char16_t* kSiteUploadInfoFile = u"SiteUploadInfo.xml";
constexpr const char16_t* kProductDocumentsFolder = u"Orvane";
constexpr const char16_t* kSharedFolder = u"Shared3";
constexpr const char16_t* kVersionFile = u"Version.txt";
constexpr const char16_t* kKeysFile = u"keys.dat";
constexpr const char16_t* kHelpFolder = u"Help";
constexpr const char16_t* kHelpFileFolder = u"help";
constexpr const char16_t* kHelpFile = u"QMVGuide.chm";

constexpr const char16_t* kDocumentsToken = u"<MYDOCUMENTS>";
constexpr const char16_t* kVolumeTokenFormat = u"<%08X%08X>";

constexpr uint64_t kMaxVersionBytes = 64 * 1024;
constexpr char kLineFeed = '\n';

XpString& ProgramFileOverride() {
  static XpString path;
  return path;
}

XpString ProgramFile() {
  const XpString& replaced = ProgramFileOverride();
  if (!replaced.IsEmpty()) return replaced;
  return XpGetSpecialFolder(kXpFolderProgramFile, false);
}

// The folder that holds this program's folder, with a trailing '/'; ""
// when the program's file cannot be told.
XpString ProgramParentFolder() {
  const XpString file = ProgramFile();
  if (file.IsEmpty()) return XpString();
  return XpPathGetDirectory(XpPathGetDirectory(file));
}

XpString SuiteKeyPath(const XpString& programName) {
  if (programName.IsEmpty()) return kSfSuiteKeyPath;
  return XpString(kSfSuiteKeyPath) + kKeySeparator + programName;
}

XfRegistryKey OpenMachineKey(const XpString& path) {
  return XfRegistryKey(
      XpRegistry::OpenNew(path, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
}

// A string value of the key; "" for a null key, a missing value or one of
// another type.
XpString ReadString(const XfRegistryKey& key, const XpString& name) {
  if (key == nullptr) return XpString();
  return key->QueryString(name, XpString());
}

XpString CurrentVersionOf(const XpString& programName) {
  return ReadString(OpenMachineKey(SuiteKeyPath(programName)), kCurrentVersionValue);
}

// The local-machine key of the program's current version; null without a
// version.
XfRegistryKey OpenCurrentVersionKey(const XpString& programName) {
  const XpString version = CurrentVersionOf(programName);
  if (version.IsEmpty()) return XfRegistryKey();
  return OpenMachineKey(SuiteKeyPath(programName) + kKeySeparator + version);
}

// The current-user key of the browser's current version joined with leaf;
// null without a version.
XfRegistryKey OpenBrowserUserKey(const XpString& leaf) {
  const XpString version = CurrentVersionOf(kBrowserProgram);
  if (version.IsEmpty()) return XfRegistryKey();
  const XpString path = SuiteKeyPath(kBrowserProgram) + kKeySeparator + version + kKeySeparator + leaf;
  return XfRegistryKey(
      XpRegistry::OpenNew(path, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead));
}

XpString ExistingFolderOrEmpty(const XpString& folder) {
  return !folder.IsEmpty() && XpDirectoryExists(folder) ? folder : XpString();
}

// The folder named fallbackFolder beside this program's folder, when it
// exists.
XpString FallbackLocation(const char16_t* fallbackFolder) {
  const XpString parent = ProgramParentFolder();
  if (parent.IsEmpty()) return XpString();
  return ExistingFolderOrEmpty(XpPathJoin(parent, fallbackFolder));
}

XpString ProgramPathWithFallbacks(const char16_t* programName, const char16_t* fallbackFolder,
                                  const char16_t* defaultExe) {
  const XfRegistryKey key = OpenCurrentVersionKey(programName);
  XpString location = ReadString(key, kInstalledLocationValue);
  XpString exeName = ReadString(key, kExeNameValue);
  if (location.IsEmpty()) location = FallbackLocation(fallbackFolder);
  if (exeName.IsEmpty()) exeName = defaultExe;
  return XpPathJoin(location, exeName);
}

XpString BrowserFolder() { return XpPathGetDirectory(SfGetBrowserPath()); }

// <app data>/Kavo Corporation/Kavo Telvane/leaf, made when missing.
XpString SuiteAppDataFolder(const char16_t* leaf) {
  const XpString appData = XpGetSpecialFolder(kXpFolderAppData, false);
  if (appData.IsEmpty()) return XpString();
  const XpString folder =
      XpPathJoin(XpPathJoin(XpPathJoin(appData, kMakerFolder), kSuiteFolder), leaf);
  if (!XpDirectoryExists(folder)) (void)XpCreateDirectoryTree(folder);
  return folder;
}

XpString FolderOrTemporary(const XpString& folder) {
  const XpString existing = ExistingFolderOrEmpty(folder);
  if (!existing.IsEmpty()) return existing;
  return XpGetSpecialFolder(kXpFolderTemp, true);
}

// The bytes of the file up to its first LF, reading no more than
// kMaxVersionBytes; false when it cannot be read.
bool ReadFirstLine(const XpString& path, XpString* line) {
  XpFile file;
  if (XpFailed(file.OpenPath(path, kXpOpenRead))) return false;
  std::vector<char> bytes(kMaxVersionBytes);
  uint64_t done = 0;
  const XpResult read = file.Read(bytes.data(), bytes.size(), &done);
  if (XpFailed(file.Close())) return false;
  if (XpFailed(read) && read != kXpErrEndOfFile) return false;
  const auto end = std::find(bytes.begin(), bytes.begin() + static_cast<int64_t>(done), kLineFeed);
  *line = XpStringA(bytes.data(), static_cast<int32_t>(end - bytes.begin())).ToWide();
  return true;
}

}  // namespace

void SfSetProgramFileForTest(const XpString& path) { ProgramFileOverride() = path; }

XpString SfGetBrowserPath() {
  return ProgramPathWithFallbacks(kBrowserProgram, kBrowserFolder, kBrowserExe);
}

XpString SfGetAnnouncePath() {
  return ProgramPathWithFallbacks(kAnnounceProgram, kAnnounceFolder, kAnnounceExe);
}

XpString SfGetAppExePath(const XpString& programName) {
  const XfRegistryKey key = OpenCurrentVersionKey(programName);
  return XpPathJoin(ReadString(key, kInstalledLocationValue), ReadString(key, kExeNameValue));
}

XpString SfGetInstalledExePath(const XpString& keyPath) {
  const XfRegistryKey key = OpenMachineKey(keyPath);
  const XpString location = ExistingFolderOrEmpty(ReadString(key, kInstalledLocationValue));
  return XpPathJoin(location, ReadString(key, kExeNameValue));
}

XpString SfGetDiscImporterLocation() {
  const XfRegistryKey key = OpenCurrentVersionKey(kDiscImporterProgram);
  return ExistingFolderOrEmpty(ReadString(key, kInstalledLocationValue));
}

XpString SfGetSharedFolder() {
  XpString location = ReadString(OpenMachineKey(kSfSuiteKeyPath), kInstalledLocationValue);
  if (location.IsEmpty()) location = ProgramParentFolder();
  return XpPathJoin(location, kSharedFolder);
}

XpString SfGetMoviePluginFolder() {
  XpString location = ReadString(OpenMachineKey(kSfSuiteKeyPath), kInstalledLocationValue);
  if (location.IsEmpty()) location = XpPathGetDirectory(ProgramFile());
  // Never a relative "Shared3", which would name the working folder.
  if (location.IsEmpty()) return XpString();
  return XpPathJoin(location, kSharedFolder);
}

XpString SfGetPicturesFolder() {
  const XpString pictures = XpGetSpecialFolder(kXpFolderPictures, false);
  if (!pictures.IsEmpty() && XpDirectoryExists(pictures)) return pictures;
  return XpGetSpecialFolder(kXpFolderDocuments, false);
}

XpString SfGetExtToolsFolder() { return SuiteAppDataFolder(kExtToolsFolder); }

XpString SfMakeImportDataFilePath() {
  const XpString folder = SuiteAppDataFolder(kImportDataFolder);
  if (folder.IsEmpty()) return XpString();
  return SfContentInfoXML::MakeFilePath(folder);
}

XpString SfGetProductDocumentsFolder() {
  const XpString documents = XpGetSpecialFolder(kXpFolderDocuments, false);
  if (documents.IsEmpty()) return XpString();
  const XpString folder = XpPathJoin(documents, kProductDocumentsFolder);
  if (!XpDirectoryExists(folder)) (void)XpCreateDirectory(folder);
  return folder;
}

XpString SfGetAppCurrentVersion(const XpString& programName) {
  return CurrentVersionOf(programName);
}

XpString SfGetKeysFilePath() {
  const XpString path = XpPathJoin(BrowserFolder(), kKeysFile);
  return XpFileExists(path) ? path : XpString();
}

XpString SfGetCountryOrAreaCode() {
  return ReadString(OpenCurrentVersionKey(kGlobalSettingsProgram), kCountryOrAreaCodeValue);
}

XpString SfGetSuiteVersion() {
  const XpString location = ReadString(OpenMachineKey(kSfSuiteKeyPath), kInstalledLocationValue);
  if (location.IsEmpty()) return XpString();
  const XpString path = XpPathJoin(location, kVersionFile);
  XpString line;
  if (!XpFileExists(path) || !ReadFirstLine(path, &line)) return XpString();
  return line;
}

XpString SfGetSiteUploadInfoPath() {
  const XpString folder = SuiteAppDataFolder(kUploaderFolder);
  if (folder.IsEmpty()) return XpString();
  return XpPathJoin(folder, kSiteUploadInfoFile);
}

XpString SfGetHelpFolder() { return XpPathJoin(BrowserFolder(), kHelpFolder); }

XpString SfGetHelpFilePath() {
  return XpPathJoin(XpPathJoin(BrowserFolder(), kHelpFileFolder), kHelpFile);
}

XpString SfGetBrowserDiskCacheFolder() {
  const XfRegistryKey settings = OpenBrowserUserKey(kSettingsKey);
  return FolderOrTemporary(ReadString(settings, kDiskCachePathValue));
}

XpString SfGetHDDAccessorTempFolder() {
  const XpString version = CurrentVersionOf(kHDDAccessorProgram);
  XfRegistryKey settings;
  XpString path;
  if (!version.IsEmpty() && XpSucceeded(path.Format(kHDDAccessorSettingsFormat, version))) {
    settings.reset(
        XpRegistry::OpenNew(path, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead));
  }
  return FolderOrTemporary(ReadString(settings, kTempFolderValue));
}

bool SfGetRegisteredFolders(XpStringVector* folders) {
  if (folders == nullptr) return false;
  // Null as well when the browser's machine key or its version is missing.
  const XfRegistryKey key = OpenBrowserUserKey(kRegisteredFoldersKey);
  if (key == nullptr) return false;
  const XpFilePathConverter converter(kDocumentsToken, kVolumeTokenFormat);
  for (const XpString& stored : key->QueryStringList(kRegisteredFoldersList, {})) {
    const XpString real = converter.ToRealPath(stored);
    if (!real.IsEmpty()) folders->push_back(real);
  }
  return true;
}

bool SfIsInRegisteredFolder(const XpString& path) {
  if (path.IsEmpty() || !XpDirectoryExists(path)) return false;
  XpStringVector folders;
  if (!SfGetRegisteredFolders(&folders)) return false;
  return std::any_of(folders.begin(), folders.end(), [&](const XpString& folder) {
    const int relation = XpPathGetRelation(path, folder);
    return relation == kXpPathSame || relation == kXpPathInside;
  });
}
