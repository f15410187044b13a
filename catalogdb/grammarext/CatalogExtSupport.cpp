#include "catalogdb/grammarext/CatalogExtSupport.h"

#include <string>

#include "catalogdb/include/CatalogGrammarNames.h"

void CatalogExtRaise(FskMachine* the, const char* name) {
  std::string path = std::string(CatalogGrammarNames::kExt) + "." + name;
  fsk::Value code = fsk::GetPath(the, path);
  fxError(the, static_cast<int32_t>(fsk::ToInteger(the, code)));
}

void CatalogExtRequire(FskMachine* the, bool condition) {
  if (!condition) {
    CatalogExtRaise(the, kExtIllegalDB);
  }
}

uint32_t CatalogExtWord(FskMachine* the, const fsk::Value& value) {
  return static_cast<uint32_t>(fsk::ToInteger(the, value));
}

uint32_t CatalogExtWordProperty(FskMachine* the, const fsk::Value& object, const char* name) {
  return CatalogExtWord(the, fsk::Get(the, object, name));
}

int64_t CatalogExtIntegerProperty(FskMachine* the, const fsk::Value& object, const char* name) {
  return fsk::ToInteger(the, fsk::Get(the, object, name));
}

uint32_t CatalogExtWordArg(FskMachine* the, int32_t index) {
  return static_cast<uint32_t>(fxToInteger(the, fxCheckArg(the, index)));
}

int64_t CatalogExtIntegerArg(FskMachine* the, int32_t index) { return fxToInteger(the, fxCheckArg(the, index)); }

CatalogExtBlock CatalogExtBlockOf(FskMachine* the, const fsk::Value& object) {
  int64_t address = CatalogExtIntegerProperty(the, object, "pointer");
  int64_t length = CatalogExtIntegerProperty(the, object, "length");
  CatalogExtRequire(the, address != 0 && length >= 0);
  return CatalogExtBlock{reinterpret_cast<unsigned char*>(static_cast<intptr_t>(address)), length};
}

void CatalogExtChange(FskMachine* the, const fsk::Value& object) { fsk::Call(the, object, "change"); }

fsk::Value CatalogExtThis(FskMachine* the) { return fsk::Value(*fxThis(the)); }

fsk::Value CatalogExtArg(FskMachine* the, int32_t index) { return fsk::Value(*fxCheckArg(the, index)); }

fsk::Value CatalogExtOptionalArg(FskMachine* the, int32_t index) {
  return index < fxArgc(the) ? fsk::Value(*fxCheckArg(the, index)) : fsk::Value();
}

void* CatalogExtHostData(FskMachine* the, const fsk::Value& object) {
  if (!object.IsObject() || !fxIsHostObject(the, &object.Slot())) {
    return nullptr;
  }
  return fxGetHostData(the, &object.Slot());
}
