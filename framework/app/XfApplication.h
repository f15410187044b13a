#pragma once

#include <cstdint>

#include "framework/app/XfAppRegistry.h"
#include "framework/app/XfStringsListSource.h"
#include "framework/notify/IXfNotificationObserver.h"
#include "framework/notify/XfNotificationManager.h"
#include "framework/notify/XfUIPlug.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/strings/XfStringsManager.h"
#include "framework/threadgroup/XfPriorityThreadGroupManager.h"
#include "framework/transaction/XfTransactionManager.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/registry/XpRegistry.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"
#include "platform/volume/XpFilePathConverter.h"

// The framework's application object: one per process. A program derives
// its own class, creates one instance on the main thread, makes it the
// global application (XfSetApplication), loads its strings files, sets its
// registry root and calls Start.
//
// It owns the notification manager and observes it: registered first, it
// hears every notification last and hands what no one else took to its own
// user-interface handler (its XfUIPlug part). It is also the source of the
// strings-manager list that the global text look-ups search.
//
// A derived class whose handlers reach its own members removes the object
// from the manager (GetNotificationManager().RemoveObserver(this)) first
// thing in its destructor, so no delivery runs into a half-destroyed object.
//
// It holds the path converter (tokens "<MYDOCUMENTS>" and "<%08X%08X>"),
// made last and released right after the observer is removed. Starting its
// volume polling is the program's call.
class XfApplication : public IXfNotificationObserver, public XfUIPlug {
 public:
  XfApplication();
  ~XfApplication() override;

  // Kinds 0 and 6 always go to the handler; kinds 1 to 5 only while not
  // handled; other kinds never. Every notification not consumed ends marked
  // handled; a consumed one is left alone.
  void OnNotification(XpSharedPtr<XfNotification> notification) override;

  // Start and stop hooks; the base answers kXpErrGeneric.
  [[nodiscard]] virtual XpResult Start(const XpString& argument);
  [[nodiscard]] virtual XpResult Stop(const XpString& argument);
  // Loads the strings files in order and keeps every manager that loaded, in
  // that order (an empty path fails like a missing file). Answers the first
  // failure's code, or kXpOk. When nothing loaded, the list holds one empty
  // manager.
  [[nodiscard]] virtual XpResult LoadStrings(const XpStringVector& paths);

  // Stores both paths and opens base joined with sub under the current user
  // for reading and writing, creating it when missing. kXpErrGeneric, with
  // no root key, when it cannot be opened.
  [[nodiscard]] XpResult SetRegistryRoot(const XpString& base, const XpString& sub);
  XpString GetRegistryBasePath() const;
  XpString GetRegistrySubPath() const;
  // The open root key's path; empty without one.
  XpString GetRegistryRootPath() const;
  // The root key's subkey name with access; null without an open root key or
  // when the subkey cannot be opened.
  XfRegistryKey OpenRegistryRootSubKey(const XpString& name, uint32_t access) const;

  XfNotificationManager& GetNotificationManager() { return notificationManager_; }
  XfTransactionManager& GetTransactionManager() { return transactionManager_; }
  XfPriorityThreadGroupManager& GetPriorityThreadGroupManager() { return threadGroupManager_; }
  // A copy of the list, in search order; never empty.
  XfStringsManagerList GetStringsManagers() const;
  XpSharedPtr<XfStringsManager> GetFirstStringsManager() const;
  // A manager that the framework never loads, for the program's own use.
  XfStringsManager& GetEmbeddedStringsManager() { return embeddedStrings_; }
  // The list as a source of the global look-ups.
  XpSharedPtr<IXfStringsSource> GetStringsSource() const;
  // Null only when it could not be allocated.
  XpSharedPtr<XpFilePathConverter> GetPathConverter() const { return pathConverter_; }

 private:
  mutable XpCriticalSection registryLock_;
  XpString registryBase_;
  XpString registrySub_;
  XfNotificationManager notificationManager_;
  XfTransactionManager transactionManager_;
  XpSharedPtr<XfStringsListSource> strings_;
  XfStringsManager embeddedStrings_;
  XpRegistry* registryRoot_ = nullptr;
  XfPriorityThreadGroupManager threadGroupManager_;
  XpSharedPtr<XpFilePathConverter> pathConverter_;
};

// The global application: set by the program right after it creates the
// object (null removes it). Setting it also makes its strings list the
// source of the global text look-ups. An application that is destroyed
// while global removes itself.
void XfSetApplication(XfApplication* application);
XfApplication* XfGetApplication();
// The global application's manager; null without an application.
XfNotificationManager* XfGetNotificationManager();
// Posts to the global application's manager; false (and dropped) without an
// application.
bool XfPostNotification(XpSharedPtr<XfNotification> notification);

// True when the system is of the NT family, version 5 or later; false when
// it cannot be told.
bool XfIsSupportedSystem();
