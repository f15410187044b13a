#include "outside/fsk/dbmanager/XdbComponent.h"

#include <utility>

#include "fsk/FskException.h"

XdbComponent::XdbComponent(FskMachine* the, XdbHostCall::Translate translate)
    : the_(the), translate_(std::move(translate)) {}

XdbComponent::XdbComponent(FskMachine* the, XpResult invalid)
    : XdbComponent(the, [invalid](FskMachine* machine, const FskException& error) {
        return XdbHostCall::ResultOfError(machine, error, invalid);
      }) {}

XpResult XdbComponent::Run(XdbCallable<void()> work) const {
  return XdbHostCall::Run(the_, work, translate_);
}

void XdbComponent::RequireOpen() const {
  if (!open_) {
    Fail(kXpErrNotOpen);
  }
}

XpResult XdbComponent::Establish(XdbCallable<void()> work) {
  if (open_) {
    return kXpErrAlreadyOpen;
  }
  XpResult result = Run(work);
  if (XpFailed(result)) {
    Release();
    return result;
  }
  open_ = true;
  return kXpOk;
}

XpResult XdbComponent::CloseFile(const fsk::Value& file) {
  if (!open_) {
    return kXpErrNotOpen;
  }
  XpResult result = Run([&] { fsk::Call(the_, file, "close"); });
  Release();
  return result;
}

void XdbComponent::CloseQuietly(const fsk::Value& file) const {
  if (!file.IsObject()) {
    return;
  }
  fsk::HostBracket bracket(the_);
  try {
    fsk::Call(the_, file, "close");
  } catch (const FskException&) {
    // Already reported by the operation that failed, or a second close.
  }
}

void XdbComponent::Release() {
  ReleaseObjects();
  open_ = false;
}
