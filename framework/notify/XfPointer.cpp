#include "framework/notify/XfPointer.h"

XfPointer::~XfPointer() {
  if (deleter_ != nullptr && pointer_ != nullptr) {
    deleter_(pointer_);
  }
}
