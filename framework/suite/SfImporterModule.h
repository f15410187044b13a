#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "framework/suite/ISfImporterModuleObserver.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/process/XpProcess.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"

class SfExtProgramEntry;
class XpRegistry;
class XpResourceModule;
class XpThread;

// The suite's importer key under the local machine.
inline constexpr const char16_t* kSfImporterKeyPath = u"Software/Kavo Corporation/Kavo Telvane/Importer";

// One importer module: a program registered under the importer key (or an
// importer entry of the external programs list), its texts, image and
// capabilities, and the launching of its program with the suite's requests.
//
// A module's registration lies in the subkey named by the "CurrentVersion"
// value of its key. Its resource library is the bundle folder of the
// library path ("ResourceName", or the base name of "ExeName" + "Loc.dll",
// in "InstalledLocation") without a final ".dll"; it loads when that folder
// exists.
//
// Texts given by callers are quoted (XpCommandLineQuote) so that each stays
// one argument of the program.
class SfImporterModule {
 public:
  static constexpr uint32_t kDefaultSupportedDevice = 1;
  static constexpr uint32_t kDefaultImageId = 400;
  static constexpr uint32_t kSettingsMenuTextId = 300;
  static constexpr uint32_t kVisibleNameId = 301;
  static constexpr uint32_t kCommentId = 302;
  // ImportScore's answer when the program cannot start.
  static constexpr uint32_t kScoreNotStarted = 0xFFFFFFFF;
  // The longest string resource, in UTF-16 units.
  static constexpr int32_t kMaxStringLength = 1023;

  using SleepFunction = std::function<void(uint32_t milliseconds)>;

  // The module name under the importer key at keyPath ("" for the default
  // key), loaded from the registry.
  SfImporterModule(const XpString& keyPath, const XpString& name);
  // A module made from an external program's entry, without the registry.
  explicit SfImporterModule(const SfExtProgramEntry& entry);
  SfImporterModule(const SfImporterModule&) = delete;
  SfImporterModule& operator=(const SfImporterModule&) = delete;
  // Waits for a destination choice that still runs.
  ~SfImporterModule();

  // Reads the module name below importerKey (the default importer key when
  // null). kXpOk when its version key was opened, else kXpErrGeneric.
  [[nodiscard]] XpResult Load(const XpRegistry* importerKey, const XpString& name);
  // Name and id from keyPath + "/" + name, with '\' read as '/', repeated
  // separators and a final one dropped: the name is the last component, the
  // id the last two.
  void SetKeyPath(const XpString& keyPath, const XpString& name);

  // The resource library path of an open version key; "" for null.
  static XpString GetResourceLibraryPath(const XpRegistry* versionKey);
  // The bundle folder of a resource library path.
  static XpString GetResourceFolder(const XpString& libraryPath);
  // String id of library, cut at kMaxStringLength; "" for null or none.
  static XpString LoadStringResource(const XpResourceModule* library, uint32_t id);

  // The image, loaded at the first call that succeeds; null when it cannot
  // be loaded.
  XpSharedPtr<XpPixmapBase> GetImage();
  // " /parentwindow XXXXXXXX", or "" without a parent window.
  XpString GetParentWindowArgument() const;

  // Runs the program with the fixed arguments, a blank and arguments. Waits
  // when wait is set or exitCode is given; process, when given, receives the
  // started process. XpRunProgram's failure when it cannot start.
  [[nodiscard]] XpResult Launch(const XpString& arguments, bool wait, uint32_t* exitCode,
                                std::unique_ptr<XpProcess>* process);
  // "/destdir"; waits unless process is given.
  [[nodiscard]] XpResult RunDestDir(std::unique_ptr<XpProcess>* process, uint32_t* exitCode);
  // "/importscore <score>", waiting; the exit code, or kScoreNotStarted.
  uint32_t ImportScore(const XpString& score);
  // "/import <folder>" (left out for ""), then the extra arguments.
  [[nodiscard]] XpResult Import(const XpString& folder, const XpString& extraArguments, bool wait,
                                std::unique_ptr<XpProcess>* process);
  // "/config".
  [[nodiscard]] XpResult Configure(bool wait);
  // Lets the user choose a destination: modal, waits for the program on the
  // UI thread, keeping the user interface alive and busy; otherwise runs it
  // on a worker and returns at once (after waiting for an earlier choice
  // that still runs). The observer gets the exit code.
  [[nodiscard]] XpResult SelectDestination(ISfImporterModuleObserver* observer, bool modal);

  const XpString& GetName() const { return name_; }
  const XpString& GetId() const { return id_; }
  const XpString& GetExecutablePath() const { return executablePath_; }
  const XpString& GetSettingsMenuText() const { return settingsMenuText_; }
  const XpString& GetVisibleName() const { return visibleName_; }
  const XpString& GetComment() const { return comment_; }
  const XpString& GetResourceLibraryPathValue() const { return resourceLibraryPath_; }
  const XpString& GetFixedArguments() const { return fixedArguments_; }
  bool HasSettingsDialog() const { return hasSettingsDialog_; }
  uint32_t GetSupportedDevice() const { return supportedDevice_; }
  uint32_t GetImageId() const { return imageId_; }
  // Returns the previous parent window; 0 is none.
  uint32_t SetParentWindow(uint32_t window);
  // The executable path names an existing file.
  bool IsInstalled() const;

  // For tests: replaces the pause of the modal wait.
  void SetSleepForTest(SleepFunction sleep) { sleep_ = std::move(sleep); }

 private:
  static uint32_t RunWorker(void* argument);
  static XpString LoadResourceText(const XpResourceModule* library, const XpRegistry* versionKey,
                                   const XpString& valueName, uint32_t fallbackId);
  void ReadTexts(const XpRegistry* versionKey);
  [[nodiscard]] XpResult SelectDestinationModal(ISfImporterModuleObserver* observer);
  void WaitKeepingUiAlive(XpProcess& process);
  void JoinWorker();
  void Pause(uint32_t milliseconds) const;

  XpString name_;
  XpString id_;
  XpString executablePath_;
  XpString settingsMenuText_;
  XpString visibleName_;
  XpString comment_;
  bool hasSettingsDialog_ = false;
  uint32_t supportedDevice_ = kDefaultSupportedDevice;
  uint32_t parentWindow_ = 0;
  XpThread* worker_ = nullptr;
  ISfImporterModuleObserver* observer_ = nullptr;
  XpSharedPtr<XpPixmapBase> image_;
  uint32_t imageId_ = kDefaultImageId;
  XpString imageFilePath_;
  XpCriticalSection imageLock_;
  XpString resourceLibraryPath_;
  XpString fixedArguments_;
  SleepFunction sleep_;
};
