#pragma once

#include "fsk/FskMachine.h"

namespace fsktest {

// A machine with both grammars loaded (CatalogGrammar, then
// CatalogGrammarExt) from the grammar folder, for the test's life. Machine()
// is null and LoadError() tells why when they could not be loaded.
class GrammarMachine {
 public:
  GrammarMachine();
  ~GrammarMachine();
  GrammarMachine(const GrammarMachine&) = delete;
  GrammarMachine& operator=(const GrammarMachine&) = delete;

  FskMachine* Machine() const { return machine_; }
  FskErr LoadError() const { return error_; }

 private:
  FskMachine* machine_ = nullptr;
  FskErr error_ = 0;
};

}  // namespace fsktest
