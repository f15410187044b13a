#pragma once

#include <cstdint>
#include <vector>

#include "installer-actions/common/InstallerLogClock.h"
#include "msi/MsiApi.h"
#include "platform/registry/XpRegistryStore.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

// One row of a registry value list: the value's key below the local-machine
// root, its name, type and data (size in bytes).
struct InstallerRegistryRow {
  XpString subkey;
  XpString valueName;
  uint32_t type = 0;
  const void* data = nullptr;
  uint32_t size = 0;
};

// The support object that every custom action creates with its installer
// handle. It keeps the shared installation log and wraps the installer,
// registry and file calls so that each call, its arguments and its result
// are logged. Nothing is reported to the installer: each wrapper returns
// its code.
//
// The log is switched on by the property QMVLOGGING being exactly "True".
// Its file lies in the temporary folder and is named by the property
// QMV_INSTALLER_LOGFILENAME, or after the product and the time (the name is
// then stored in that property for the later actions); every process
// appends to it in turn under one named mutex.
class InstallerCommonFunction {
 public:
  // Capacities, in UTF-16 units with the terminator.
  static constexpr uint32_t kPropertyCapacity = 262;
  static constexpr uint32_t kVersionCapacity = 522;
  static constexpr int32_t kPathLimit = 260;
  static constexpr uint32_t kNotFound = 0x8FFFFFFF;
  static constexpr const char16_t* kLogMutexName = u"QMV_Installer_CommonFuction_Log_Mutex";
  static constexpr const char16_t* kDefaultLogFileName = u"QMVInstaller_dll.log";

  // Operations of FileOperation.
  static constexpr uint32_t kOperationCopy = 2;
  static constexpr uint32_t kOperationDelete = 3;

  // With a non-zero handle the log switch is read from the installation.
  explicit InstallerCommonFunction(MSIHANDLE install);
  // The same with the clocks of the log: the local time of names and
  // entries, and the clock of the 10-second wait for the log mutex.
  InstallerCommonFunction(MSIHANDLE install, InstallerLogClock& clock, XpWaitClock& waitClock);
  InstallerCommonFunction(const InstallerCommonFunction&) = delete;
  InstallerCommonFunction& operator=(const InstallerCommonFunction&) = delete;

  bool IsLogging() const { return logging_ == 1; }
  const XpString& LogFileName() const { return logFileName_; }

  // 1 when the log is switched on (the name is then prepared), else 0.
  int32_t CheckLogging(MSIHANDLE install);
  // True when a log file name was found or made.
  bool PrepareLogFileName(MSIHANDLE install);

  // Appends one entry; 1 when written, 0 when dropped. A null text is
  // written "(NULL)".
  int32_t WriteLog(const char16_t* message, const char16_t* title);
  int32_t WriteLog(const XpString& message, const XpString& title) {
    return WriteLog(message.CStr(), title.CStr());
  }
  // WriteLog when the log is switched on.
  void Log(const XpString& message, const XpString& title);
  void LogTitled(const XpString& title, const XpString& message);

  // Installer calls. A read keeps at most capacity - 1 units of the value.
  uint32_t GetPropertyMsi(MSIHANDLE install, const XpString& name, XpString& value,
                          uint32_t capacity = kPropertyCapacity);
  // A null value removes the property.
  uint32_t SetPropertyMsi(MSIHANDLE install, const XpString& name, const char16_t* value);
  uint32_t SetFeatureStateMsi(MSIHANDLE install, const XpString& feature, int32_t state);
  // The feature becomes local when the property equals expected exactly,
  // else absent; a failed read is returned with nothing set.
  uint32_t SetFeatureStateFromMsiProperty(MSIHANDLE install, const XpString& property,
                                          const XpString& feature, const XpString& expected);

  // Registry calls on the local-machine root unless a root is given; each
  // returns a Win32 code.
  uint32_t SetRegistryValue(const XpString& subkey, const XpString& valueName, uint32_t type,
                            const void* data, uint32_t size);
  // Stops at the first row that fails and returns its code.
  uint32_t SetRegistryValueList(const std::vector<InstallerRegistryRow>& rows);
  // *size is the buffer's size in bytes on entry and the data's on return.
  // 234 (nothing copied) when the data does not fit, for texts with their
  // terminator; a text stored without one gets it.
  uint32_t QueryRegistryValue(XpRegistryRoot root, const XpString& subkey, const XpString& valueName,
                              uint32_t* type, void* data, uint32_t* size);
  uint32_t QueryLocalMachineValue(const XpString& subkey, const XpString& valueName, uint32_t* type,
                                  void* data, uint32_t* size);
  // A key with subkeys is not deleted (5).
  uint32_t DeleteRegistryKey(const XpString& subkey);
  // Deletes each row's value; stops after the first row that fails.
  uint32_t DeleteRegistryValueList(const std::vector<InstallerRegistryRow>& rows);
  // Records a full-access grant for everyone on an existing key; failures
  // go to standard error, not to the log.
  uint32_t ChangeRegistrySecurityEveryOne(XpRegistryRoot root, const XpString& subkey);

  // File calls. FileOperation copies (to may then be a folder that takes
  // the source under its own name; missing parents are made and files
  // replaced) or deletes permanently; it returns a Win32 code.
  uint32_t FileOperation(const XpString& from, const XpString& to, uint32_t operation, uint32_t flags);
  uint32_t CopyFiles(const XpString& from, const XpString& to);
  // Refuses (87, nothing touched) an empty or relative path, a path with a
  // ".." component, "/" and a volume root.
  uint32_t DeleteFiles(const XpString& path);
  // folder + '/' + name into output when shorter than kPathLimit units;
  // otherwise output keeps what it held.
  void CreateTargetFilePath(const XpString& folder, const XpString& name, XpString& output);
  // The first line of folder/Version.txt, at most capacity - 1 units; 0,
  // or kNotFound (output unchanged) when the file cannot be read.
  uint32_t GetVersionString(const XpString& folder, XpString& output, uint32_t capacity = kVersionCapacity);
  // 1 when the candidate's version is not older than the installed one.
  int32_t IsNotOlderVersion(const XpString& candidateFolder, const XpString& installedFolder);
  // 0 when a non-empty value was read, else kNotFound.
  uint32_t GetKeyValueIni(const XpString& path, const XpString& section, const XpString& key,
                          XpString& output, uint32_t capacity);

  // Unlogged helpers.
  bool IsCdRomDrive(const XpString& path);
  static void RemoveTrailingChar(XpString& text, char16_t ch);
  // The files matching pattern below folder, deepest folders first; within
  // a folder in code-unit order of the names. Links are never followed.
  void FindFilesRecursive(const XpString& folder, const XpString& pattern, XpStringVector& list);

  // Members of TLVProc's copy.
  bool HasSubKey(XpRegistryRoot root, const XpString& subkey);
  bool HasValue(XpRegistryRoot root, const XpString& subkey);
  uint32_t DeleteRegistryValue(const XpString& subkey, const XpString& valueName);
  // The index of the first NUL within the first kPathLimit units; kNotFound
  // for a null text or none there.
  static uint32_t BoundedLength(const char16_t* text);
  // The subfolders of folder; with recursive every folder comes after all
  // folders below it.
  void ListSubFolders(const XpString& folder, XpStringVector& list, bool recursive);
  uint32_t QueryClassesRootValue(const XpString& subkey, const XpString& valueName, uint32_t* type,
                                 void* data, uint32_t* size);
  uint32_t OpenRegistryKey(XpRegistryRoot root, const XpString& subkey);

 private:
  bool GetLogFileNameProperty(MSIHANDLE install);
  // The local time now in strftime's pattern; "" when it does not fit.
  XpString FormattedNow(const char* pattern);
  bool AppendEntry(const XpString& path, const XpString& entry);
  // Opens a key for a wrapper: its Win32 code and the handle number the log
  // shows (0 when the open failed).
  uint32_t OpenKey(XpRegistryRoot root, const XpString& subkey, uint32_t* handleNumber);

  int32_t logging_ = 0;
  XpString logFileName_;
  InstallerLogClock& clock_;
  XpWaitClock& waitClock_;
};
