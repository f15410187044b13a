// A symbol table whose last name has its NUL just past the table's size.
#include "FixtureNatives.h"

namespace {

void Build(FskMachine* the) { fxBuildGrammarNatives(the, nullptr, 0); }

constexpr char kSymbols[] = "\x00\x01" "abc";

const GrammarRecord kRecord = {Build, kSymbols, sizeof kSymbols - 1, nullptr, 0, "CatalogGrammar"};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
