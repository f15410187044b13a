#include "outside/fsk/dbmanager/XdbHostCall.h"

#include <cerrno>

#include "fsk/FskScript.h"
#include "platform/result/XpResultTranslation.h"

XpResult XdbHostCall::ResultOfError(FskMachine* the, const FskException& error, XpResult invalid) {
  fsk::Value thrown(error.Value());
  if (!thrown.IsObject()) {
    return kXpErrGeneric;
  }
  fsk::Value code = fsk::Get(the, thrown, "code");
  if (code.Type() != kFskIntegerType) {
    return kXpErrGeneric;
  }
  auto errorCode = static_cast<int>(fsk::ToInteger(the, code));
  return errorCode == EINVAL ? invalid : XpResultFromErrno(errorCode);
}

XpResult XdbHostCall::Run(FskMachine* the, XdbCallable<void()> work, XpResult invalid) {
  return Run(the, work, [invalid](FskMachine* machine, const FskException& error) {
    return ResultOfError(machine, error, invalid);
  });
}

XpResult XdbHostCall::Run(FskMachine* the, XdbCallable<void()> work, const Translate& translate) {
  fsk::HostBracket bracket(the);
  try {
    work();
    return kXpOk;
  } catch (const Failure& failure) {
    return failure.result;
  } catch (const FskException& error) {
    return translate(the, error);
  }
}
