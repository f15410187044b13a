// A well-formed record that names another grammar.
#include "FixtureNatives.h"

namespace {

void Build(FskMachine* the) { fxBuildGrammarNatives(the, nullptr, 0); }

constexpr char kSymbols[2] = {0, 0};

const GrammarRecord kRecord = {Build, kSymbols, sizeof kSymbols, nullptr, 0, "OtherGrammar"};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
