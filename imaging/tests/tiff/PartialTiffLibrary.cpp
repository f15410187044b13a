// A libtiff stand-in that lacks TIFFReadRGBAImageOriented: a binding must
// refuse it and never call any of the others, which abort.
#include <cstdlib>

extern "C" {
__attribute__((visibility("default"))) void TIFFClose() { std::abort(); }
__attribute__((visibility("default"))) void TIFFGetField() { std::abort(); }
__attribute__((visibility("default"))) void TIFFRGBAImageOK() { std::abort(); }
__attribute__((visibility("default"))) void _TIFFmalloc() { std::abort(); }
__attribute__((visibility("default"))) void _TIFFfree() { std::abort(); }
__attribute__((visibility("default"))) void TIFFClientOpen() { std::abort(); }
__attribute__((visibility("default"))) void TIFFSetErrorHandler() { std::abort(); }
__attribute__((visibility("default"))) void TIFFSetWarningHandler() { std::abort(); }
}
