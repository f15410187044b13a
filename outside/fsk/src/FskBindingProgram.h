#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "fsk/FskMachine.h"

namespace fskimpl {

// Runs a grammar's binding program (fsk/Grammar.h) on the machine; names
// is the grammar's symbol table. Throws a SyntaxError naming the line of a
// statement that is malformed or cannot be carried out.
void RunBindingProgram(FskMachine* the, std::string_view program,
                       const std::unordered_set<std::string>& names);

}  // namespace fskimpl
