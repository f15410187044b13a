#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"

// Grammars: shared libraries named lib<name>.so whose only defined dynamic
// symbol is fskGrammar, a pointer-sized variable holding the address of the
// grammar's record:
//
//   extern "C" [[gnu::visibility("default")]]
//   const GrammarRecord* const fskGrammar = &record;
//
// The record names the grammar, gives its symbol table, its builder and its
// binding program. Loading a grammar adds its symbols to the machine, runs
// its builder (which defines the global object "@" holding the grammar's
// natives by number) and then runs its binding program, which places the
// natives and the grammar's constants on the script objects.
//
// Symbol table: a big-endian unsigned 16-bit count, then that many
// NUL-terminated names, with no padding and nothing after them (a table of
// count 0 is 2 bytes).
//
// Binding program (the record's code): UTF-8 text, one statement a line.
// Empty lines and lines that begin with '#' are passed over. Paths are
// dotted from the global object; every name of a path must be in the
// grammar's symbol table.
//
//   object PATH [PROTOTYPE-PATH]  a new plain object at PATH, an instance of
//                                 PROTOTYPE-PATH when given (so an instance
//                                 of a host object is a host object)
//   bind PATH N                   PATH takes entry N of "@"
//   prototype PATH PROTOTYPE-PATH the prototype of constructor PATH
//   constant PATH VALUE           a decimal integer (-64), a decimal number
//                                 with a point (1.5), or a string in double
//                                 quotes (\" and \\ escape)
//
// Each statement defines a property that is not there yet; redefining one
// is an error of the program.

using FskGrammarBuilder = void (*)(FskMachine* the);

// 64-bit addresses do not fit the 32-bit words of the original record, so
// each address field is pointer-sized.
struct GrammarRecord {
  FskGrammarBuilder builder;
  const char* symbols;
  uint32_t symbolsSize;
  const char* code;
  uint32_t codeSize;
  // "CatalogGrammar" or "CatalogGrammarExt".
  const char* name;
};

inline constexpr char kGrammarRecordSymbol[] = "fskGrammar";

// Kinds of native table rows; rows of any other kind are skipped.
inline constexpr int16_t kNativeFunction = 0;
inline constexpr int16_t kNativeConstructor = 1;
// The address is the destructor of the host object.
inline constexpr int16_t kNativeHostObject = 2;

union NativeAddress {
  constexpr NativeAddress(FskCallback callback) : function(callback) {}  // NOLINT(google-explicit-constructor)
  constexpr NativeAddress(FskDestructor callback) : destructor(callback) {}  // NOLINT(google-explicit-constructor)
  FskCallback function;
  FskDestructor destructor;
};

// One native: {kind, argument count, address}.
struct NativeRow {
  int16_t kind;
  int16_t argc;
  NativeAddress address;
};

constexpr NativeRow NativeFunction(int16_t argc, FskCallback callback) {
  return NativeRow{kNativeFunction, argc, NativeAddress(callback)};
}

constexpr NativeRow NativeConstructor(int16_t argc, FskCallback callback) {
  return NativeRow{kNativeConstructor, argc, NativeAddress(callback)};
}

constexpr NativeRow NativeHostObject(FskDestructor destructor) {
  return NativeRow{kNativeHostObject, 0, NativeAddress(destructor)};
}

// The flag and attributes of "@" and of each of its entries; stored, read
// by nothing.
inline constexpr int32_t kGrammarNativeFlag = 8;
inline constexpr int32_t kGrammarNativeAttributes = 8;

// The builder's work over a grammar's native table: defines the global "@"
// as a new plain object and, for each row n in order, entry n of "@": a host
// function (kind 0) or host constructor (kind 1) with the row's argument
// count, or a host object with the row's destructor (kind 2). Entries of
// other kinds stay undefined.
void fxBuildGrammarNatives(FskMachine* the, const NativeRow* rows, size_t count);

// Load errors: 0x8105 when the library is missing, 0x8401 when memory ran
// out, 0x8000 for anything else (a malformed record, a name that is not
// the one asked for, a builder or binding program that failed). Each is
// also written to the trace sink.
inline constexpr FskErr kFskErrGrammarMissing = 0x8105;
inline constexpr FskErr kFskErrGrammarMemory = 0x8401;
inline constexpr FskErr kFskErrGrammarInvalid = 0x8000;

// The folder grammars load from: $KAVO_GRAMMAR_DIR when set, else the
// program's folder.
std::string FskGrammarFolder();

// Loads grammar name ("CatalogGrammar" or "CatalogGrammarExt") from
// lib<name>.so in the grammar folder into the machine. The library is
// opened with RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE and never closed.
FskErr FskLoadGrammar(FskMachine* the, const char* name);

// A new machine whose symbol table starts with the symbols of the grammars,
// in order, and that has them loaded. *out is null on failure.
FskErr FskNewGrammarMachine(const char* machineName, const std::vector<std::string>& grammars,
                            FskMachine** out);

// The names of a symbol table; kFskErrGrammarInvalid for a table that is
// shorter than its count, has a name that runs past size or bytes after its
// last name.
FskErr FskParseSymbolTable(const char* symbols, uint32_t size, std::vector<std::string>* names);
