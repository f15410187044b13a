// A grammar with rows of kinds 0, 1, 2, 3 and 0, and a binding program that
// uses every statement.
#include "FixtureNatives.h"

namespace {

const NativeRow kRows[] = {
    NativeFunction(2, fixture::ArgumentCount),
    NativeConstructor(1, fixture::Make),
    NativeHostObject(fixture::Release),
    NativeRow{3, 0, NativeAddress(fixture::ArgumentCount)},
    NativeFunction(0, fixture::ArgumentCount),
};

void Build(FskMachine* the) { fxBuildGrammarNatives(the, kRows, sizeof kRows / sizeof kRows[0]); }

constexpr char kSymbols[] =
    "\x00\x0B"
    "fixture\0f0\0Maker\0host\0base\0@\0none\0f4\0answer\0ratio\0label";

constexpr char kProgram[] =
    "# fixture grammar\n"
    "object fixture\n"
    "bind fixture.f0 0\n"
    "bind fixture.Maker 1\n"
    "bind fixture.host 2\n"
    "\n"
    "object fixture.base fixture.host\n"
    "prototype fixture.Maker fixture.base\n"
    "bind fixture.none 3\n"
    "bind fixture.f4 4\n"
    "constant fixture.answer 42\n"
    "constant fixture.ratio -1.5\n"
    "constant fixture.label \"say \\\"hi\\\"\"\n";

const GrammarRecord kRecord = {Build, kSymbols, sizeof kSymbols, kProgram, sizeof kProgram - 1, "CatalogGrammar"};

}  // namespace

extern "C" [[gnu::visibility("default")]] const GrammarRecord* const fskGrammar;
const GrammarRecord* const fskGrammar = &kRecord;
