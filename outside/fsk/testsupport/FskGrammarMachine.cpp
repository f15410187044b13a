#include "outside/fsk/testsupport/FskGrammarMachine.h"

#include "fsk/Grammar.h"

namespace fsktest {

GrammarMachine::GrammarMachine() {
  error_ = FskNewGrammarMachine("test", {"CatalogGrammar", "CatalogGrammarExt"}, &machine_);
}

GrammarMachine::~GrammarMachine() { fxDeleteMachine(machine_); }

}  // namespace fsktest
