#pragma once

#include <cstdint>
#include <cstring>

#include "catalogdb/common/CatalogByteOrder.h"
#include "fsk/FskScript.h"

// Helpers of CatalogGrammarExt's natives: the grammar's error constants,
// little-endian values in memory, integer properties and the blocks that
// the script hands over as {pointer, length}.

// Error constants of CatalogGrammarExt.
inline constexpr char kExtIllegalDB[] = "ILLEGAL_DB";
inline constexpr char kExtIdLimit[] = "ID_LIMIT";

// Throws a new Fsk.Error.Native carrying the constant CatalogGrammarExt.name.
[[noreturn]] void CatalogExtRaise(FskMachine* the, const char* name);
// CatalogExtRaise(the, kExtIllegalDB) unless condition holds.
void CatalogExtRequire(FskMachine* the, bool condition);

// The low 32 bits of a script value, as the natives store them.
uint32_t CatalogExtWord(FskMachine* the, const fsk::Value& value);
// The low 32 bits of property name of object.
uint32_t CatalogExtWordProperty(FskMachine* the, const fsk::Value& object, const char* name);
// The 64-bit integer of property name of object.
int64_t CatalogExtIntegerProperty(FskMachine* the, const fsk::Value& object, const char* name);
// The low 32 bits of argument index.
uint32_t CatalogExtWordArg(FskMachine* the, int32_t index);
int64_t CatalogExtIntegerArg(FskMachine* the, int32_t index);

// A block as the script holds it: the bytes at pointer, length of them.
struct CatalogExtBlock {
  unsigned char* bytes;
  int64_t length;

  // Whether [offset, offset + size) lies inside the block.
  bool Holds(int64_t offset, int64_t size) const {
    return offset >= 0 && size >= 0 && offset <= length && size <= length - offset;
  }
  int64_t SlotCount() const { return length / 4; }
  uint32_t Slot(int64_t index) const { return CatalogLoadLittle32(bytes + index * 4); }
  void SetSlot(int64_t index, uint32_t value) const { CatalogStoreLittle32(bytes + index * 4, value); }
};

// The block of an object with pointer and length; ILLEGAL_DB for a null
// pointer or a negative length.
CatalogExtBlock CatalogExtBlockOf(FskMachine* the, const fsk::Value& object);
// object.change()
void CatalogExtChange(FskMachine* the, const fsk::Value& object);

// The receiver and argument index of the current call as values.
fsk::Value CatalogExtThis(FskMachine* the);
fsk::Value CatalogExtArg(FskMachine* the, int32_t index);
// Argument index, or undefined when the call has fewer arguments.
fsk::Value CatalogExtOptionalArg(FskMachine* the, int32_t index);

// The data of a host object; null for anything else.
void* CatalogExtHostData(FskMachine* the, const fsk::Value& object);
