// A grammar with no symbols, no natives and no program.
#include "FixtureNatives.h"

namespace {

void Build(FskMachine* the) { fxBuildGrammarNatives(the, nullptr, 0); }

constexpr char kSymbols[2] = {0, 0};

const GrammarRecord kRecord = {Build, kSymbols, sizeof kSymbols, nullptr, 0, "CatalogGrammar"};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
