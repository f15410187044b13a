// A binding program that uses a name its symbol table lacks.
#include "FixtureNatives.h"

namespace {

const NativeRow kRows[] = {NativeFunction(0, fixture::ArgumentCount)};

void Build(FskMachine* the) { fxBuildGrammarNatives(the, kRows, 1); }

constexpr char kSymbols[] = "\x00\x02" "fixture\0@";

constexpr char kProgram[] = "object fixture\nbind fixture.unlisted 0\n";

const GrammarRecord kRecord = {Build, kSymbols, sizeof kSymbols, kProgram, sizeof kProgram - 1, "CatalogGrammar"};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
