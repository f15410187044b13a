// A giflib stand-in that lacks GifFreeMapObject: a binding must refuse it
// and never call any of the others, which abort.
#include <cstdlib>

extern "C" {
__attribute__((visibility("default"))) void DGifOpen() { std::abort(); }
__attribute__((visibility("default"))) void DGifCloseFile() { std::abort(); }
__attribute__((visibility("default"))) void DGifGetRecordType() { std::abort(); }
__attribute__((visibility("default"))) void DGifGetImageDesc() { std::abort(); }
__attribute__((visibility("default"))) void DGifGetLine() { std::abort(); }
__attribute__((visibility("default"))) void DGifGetExtension() { std::abort(); }
__attribute__((visibility("default"))) void DGifGetExtensionNext() { std::abort(); }
}
