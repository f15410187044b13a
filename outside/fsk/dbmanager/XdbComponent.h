#pragma once

#include <cstdint>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "platform/result/XpResult.h"

// What the album database's file components share: the machine they call
// into, the open state, and the bracket that runs a step and turns what
// ends it early into a result. A component creates or opens its file
// through Establish, closes it through CloseFile, and drops its objects in
// ReleaseObjects.
class XdbComponent {
 public:
  XdbComponent(const XdbComponent&) = delete;
  XdbComponent& operator=(const XdbComponent&) = delete;

  bool IsOpen() const { return open_; }

 protected:
  // The runtime's never-opened refnum.
  static constexpr int64_t kNeverOpened = -1;

  // An error the runtime raises becomes a result through translate.
  XdbComponent(FskMachine* the, XdbHostCall::Translate translate);
  // The same with EINVAL as invalid.
  XdbComponent(FskMachine* the, XpResult invalid);
  virtual ~XdbComponent() = default;

  [[noreturn]] static void Fail(XpResult result) { XdbHostCall::Fail(result); }
  [[nodiscard]] XpResult Run(XdbCallable<void()> work) const;
  // Fails with kXpErrNotOpen when no file is open.
  void RequireOpen() const;

  // kXpErrAlreadyOpen when open; else runs work, and the component is open
  // when work succeeds and released when it fails.
  [[nodiscard]] XpResult Establish(XdbCallable<void()> work);
  // kXpErrNotOpen when closed; else closes file and releases the component,
  // also when the close fails.
  [[nodiscard]] XpResult CloseFile(const fsk::Value& file);
  // Closes file, when it is an object, in a bracket of its own; a failure
  // to close is dropped.
  void CloseQuietly(const fsk::Value& file) const;

  FskMachine* const the_;

 private:
  // Drops the component's objects; the file may be open or half made.
  virtual void ReleaseObjects() = 0;
  void Release();

  XdbHostCall::Translate translate_;
  bool open_ = false;
};
