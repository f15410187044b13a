// A library without fskGrammar.
extern "C" [[gnu::visibility("default")]] const int otherSymbol;
const int otherSymbol = 1;
