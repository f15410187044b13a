// A symbol table whose count names more symbols than its size holds.
#include "FixtureNatives.h"

namespace {

void Build(FskMachine* the) { fxBuildGrammarNatives(the, nullptr, 0); }

constexpr char kSymbols[] = "\x00\x05" "ab\0cd";

const GrammarRecord kRecord = {Build, kSymbols, sizeof kSymbols, nullptr, 0, "CatalogGrammar"};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
