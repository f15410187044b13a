#include "imaging/format/XpByteWindow.h"

#include <cstring>

#include "platform/memory/XpByteOrder.h"

bool XpByteWindow::Holds(uint64_t position, uint64_t count) const {
  return position <= size_ && count <= size_ - position;
}

bool XpByteWindow::Matches(uint64_t position, std::string_view text) const {
  const uint8_t* bytes = At(position, text.size());
  return bytes != nullptr && std::memcmp(bytes, text.data(), text.size()) == 0;
}

bool XpByteWindow::Byte(uint64_t position, uint8_t& value) const {
  const uint8_t* bytes = At(position, 1);
  if (bytes == nullptr) {
    return false;
  }
  value = bytes[0];
  return true;
}

bool XpByteWindow::Le32(uint64_t position, uint32_t& value) const {
  const uint8_t* bytes = At(position, 4);
  if (bytes == nullptr) {
    return false;
  }
  value = XpLoadLittle32(bytes);
  return true;
}

bool XpByteWindow::Be16(uint64_t position, uint16_t& value) const {
  const uint8_t* bytes = At(position, 2);
  if (bytes == nullptr) {
    return false;
  }
  value = XpLoadBig16(bytes);
  return true;
}

const uint8_t* XpByteWindow::At(uint64_t position, uint64_t count) const {
  return Holds(position, count) ? data_ + position : nullptr;
}

XpByteWindow XpByteWindow::Sub(uint64_t position, uint64_t count) const {
  const uint8_t* bytes = At(position, count);
  return bytes != nullptr ? XpByteWindow(bytes, count) : XpByteWindow(data_, 0);
}
