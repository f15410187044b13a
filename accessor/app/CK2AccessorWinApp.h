#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "accessor/app/AccessorMode.h"
#include "accessor/app/ExclusionChecker.h"
#include "accessor/app/K2AccessorApplication.h"
#include "accessor/app/K2AccessorCommandLineInfo.h"
#include "accessor/app/K2ExportOutcome.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

class ISfWindowList;
class IXpMountTableSource;
class K2ExportTaskManager;
class K2ImportTaskManager;
class XfDialogPresenter;
class XfUiHost;

// The accessor's process object: one per process, made by main on the main
// thread over the program's UI host. Run prepares the process, makes the
// application object (strings, registry root), parses the command line,
// checks the files the program needs beside it, runs the export flow when
// "export" was given and removes the hand-over file, or else the import
// flow for "import PATH" or the salvage flow for "salvage" (the camera root
// being the last argument), tears the application down and answers the
// exit status: 0 done, 1 failed, 2 cancelled. Relative paths of the command
// line are taken from the working folder. "--help" prints the usage on
// standard output (0); a run that asks for none of the three prints it on
// standard error (2).
class CK2AccessorWinApp {
 public:
  // The most items one export takes.
  static constexpr uint32_t kMaxExportItems = 2000;

  // programFolder holds the files the program needs (K2RequiredFiles.h);
  // by default the folder of the running program.
  explicit CK2AccessorWinApp(XfUiHost& host, const XpString& programFolder = DefaultProgramFolder());
  CK2AccessorWinApp(const CK2AccessorWinApp&) = delete;
  CK2AccessorWinApp& operator=(const CK2AccessorWinApp&) = delete;
  virtual ~CK2AccessorWinApp();

  // The process object while one lives; else null.
  static CK2AccessorWinApp* Instance();
  static XpString DefaultProgramFolder();

  // InitInstance, then ExitInstance; the host is finished once, at the end.
  // When the host found the run went wrong (an unexpected interaction on
  // the scripted back end) its status 1 is the answer.
  int Run(int argc, const char* const* argv);
  // The whole start-up; always false, as the program has no loop of its own.
  bool InitInstance(int argc, const char* const* argv);
  // The exit status of what InitInstance did; with "importscore" the exit
  // code member (0).
  int ExitInstance();

  // A message box captioned by the current mode, from any thread. owner is
  // the dialog the box belongs to, or null; the host shows a box over the
  // innermost dialog, so it stays modal to a running owner.
  virtual int32_t DoMessageBox(const XfDialogPresenter* owner, const XpString& text, uint32_t style);
  // A question whether to stop the running work, captioned as DoMessageBox;
  // Ctrl-C answers it Yes, so that a second Ctrl-C stops.
  int32_t AskToStop(const XfDialogPresenter* owner, const XpString& text, uint32_t style);
  // The caption of the current mode: the title key's text of a mode of the
  // table, else "Orvane". Looked up at each call.
  XpString GetCaption() const;

  void SetMode(int32_t mode) { mode_.store(mode); }
  int32_t GetMode() const { return mode_.load(); }

  XfUiHost& GetHost() { return host_; }
  const XpString& GetProgramFolder() const { return programFolder_; }
  const K2AccessorCommandLineInfo& GetCommandLine() const { return commandLine_; }
  // The application object while InitInstance runs; else null.
  K2AccessorApplication* GetApplication() const { return application_.get(); }

  // Replaces the required-file names (K2DefaultRequiredFiles by default).
  void SetRequiredFiles(XpStringVector names) { requiredFiles_ = std::move(names); }

  // Runs the exclusion check for direction (kExclusionDirectionImport or
  // kExclusionDirectionExport) and tells why the work may not go on: a box
  // captioned by the mode, or, for another import-side instance of the same
  // user, that instance's window raised without a box. True when nothing
  // stands in the way.
  bool ReportExclusion(int32_t direction);
  ExclusionChecker& GetExclusionChecker() { return *exclusionChecker_; }
  // The windows ReportExclusion looks through (the terminal's, which has
  // none, by default); windows must outlive this object.
  void SetWindowList(ISfWindowList& windows) { windows_ = &windows; }

 protected:
  // The export of the command line's hand-over file: the exclusion check,
  // the hand-over file and the settings, the preparation and the count
  // checks, the confirmation, the progress and the final message. Its
  // result is 0 after a confirmed or a declined export, 0x8000 when the
  // exclusion check refused or the progress ended without OK, the reading
  // error of the hand-over file, or the task start's result when the item
  // count ended it. How the export ended goes to SetExportOutcome; one that
  // reports nothing has failed. The parent window is not used: there are no
  // windows, so boxes and dialogs have no owner.
  [[nodiscard]] virtual ExportResult ExportFlow(const K2AccessorCommandLineInfo& commandLine);
  void SetExportOutcome(K2ExportOutcome outcome) { exportOutcome_ = outcome; }
  // What a failed export's line on standard error tells instead of the
  // flow's result: the failing step and its code.
  void SetExportFailure(const std::string& step, XpResult code);
  void SetExportFailure(const std::string& step) { exportFailure_ = step; }
  // The export's task manager: the application's.
  virtual K2ExportTaskManager& GetExportTaskManager();
  // The mount table the confirmation dialog's volume watch reads; null for
  // the system's.
  virtual std::unique_ptr<IXpMountTableSource> CreateMountTableSource();

  // The import of the camera folder importPath: the exclusion check, the
  // import settings, the preparation, the confirmation, the progress, the
  // copies listed on standard output and the record handed to the browser.
  // "Nothing new to import" is done. A failure writes one line on standard
  // error.
  virtual K2ExportOutcome ImportFlow(const XpString& importPath);
  // The salvage of the numbered DCIM folders of the camera at cameraRoot
  // to the import's destination folder: the exclusion check, the
  // preparation, the confirmation and the progress; how it ended follows
  // the salvage result. A failure writes one line on standard error.
  virtual K2ExportOutcome SalvageFlow(const XpString& cameraRoot);
  // The import and salvage task manager: the application's.
  virtual K2ImportTaskManager& GetImportTaskManager();
  // A task result shown as the progress window shows it, captioned by the
  // current mode.
  void ShowTaskError(XpResult code);
  // "TLVK2Accessor: " and text, and the code when given, on standard error.
  void WriteFailureLine(const std::string& text);
  void WriteFailureLine(const std::string& text, XpResult code);
  // An existing folder named by an absolute path: the live mount table
  // holds its volume (the root file system holds every such path).
  static bool IsFolderOnMountedVolume(const XpString& path);

  // One line on standard error (without its newline).
  virtual void WriteErrorLine(const std::string& line);
  // One line on standard output (without its newline).
  virtual void WriteOutputLine(const std::string& line);

 private:
  bool CheckRequiredFiles();
  // The command line's paths made absolute against the working folder.
  void ResolveCommandLinePaths();
  // One line on standard error when work was declined because no one was
  // there to confirm it.
  void ReportUnattendedDecline(const std::string& work, const std::optional<K2ExportOutcome>& outcome);
  void RunExport();
  void RunImport();
  void RunSalvage();
  void PrintImportedCopies(const XpString& recordFile);
  void RemoveHandOverFile();
  // Brings the window of another import-side instance to the front.
  void RaiseOtherImportInstance();

  XfUiHost& host_;
  XpString programFolder_;
  XpStringVector requiredFiles_;
  K2AccessorCommandLineInfo commandLine_;
  // Returned by ExitInstance with "importscore"; nothing sets it.
  int32_t m_nExitCode = 0;
  std::atomic<int32_t> mode_{kAccessorModeNeutral};
  std::unique_ptr<K2AccessorApplication> application_;
  bool requiredFileMissing_ = false;
  // Set once the usage was printed: the exit status it ends with.
  std::optional<int> usageStatus_;
  // Set once the export flow has run.
  std::optional<K2ExportOutcome> exportOutcome_;
  // Set once the import or the salvage flow has run.
  std::optional<K2ExportOutcome> importOutcome_;
  // The failing step of the export flow, with its code; empty for none.
  std::string exportFailure_;
  std::unique_ptr<ExclusionChecker> exclusionChecker_;
  ISfWindowList* windows_;
};
