#include "camerastore/xdb/XdbHost.h"

#include <new>
#include <utility>

#include "camerastore/xdb/XdbText.h"
#include "fsk/FskMemory.h"

namespace {

// Slots of a call besides its arguments: the count and the receiver.
constexpr int32_t kCallOverhead = 2;

}  // namespace

FskMachine*& XdbConnectionMachine() {
  static FskMachine* machine = nullptr;
  return machine;
}

FskSlot* XdbMasterSlot() {
  // Never destroyed: it may hold an object until the process ends.
  static FskSlot* slot = new FskSlot();
  return slot;
}

XdbArg XdbArg::Integer(int32_t value) {
  XdbArg arg;
  arg.kind_ = Kind::kInteger;
  arg.integer_ = value;
  return arg;
}

XdbArg XdbArg::Number(double value) {
  XdbArg arg;
  arg.kind_ = Kind::kNumber;
  arg.number_ = value;
  return arg;
}

XdbArg XdbArg::Text(const char* text) {
  XdbArg arg;
  arg.kind_ = text != nullptr ? Kind::kText : Kind::kNull;
  arg.text_ = text;
  return arg;
}

XdbArg XdbArg::Null() { return XdbArg(); }

XdbArg XdbArg::Copy(XdbPlace place) {
  XdbArg arg;
  arg.kind_ = Kind::kCopy;
  arg.place_ = place;
  return arg;
}

void XdbArg::Push(FskMachine* the) const {
  switch (kind_) {
    case Kind::kInteger:
      fxInteger(the, fxPush(the), integer_);
      return;
    case Kind::kNumber:
      fxNumber(the, fxPush(the), number_);
      return;
    case Kind::kText:
      fxString(the, fxPush(the), text_);
      return;
    case Kind::kNull:
      fxNull(the, fxPush(the));
      return;
    case Kind::kCopy:
      fxPushSlot(the, place_.slot);
      if (place_.property != nullptr) {
        fxGetID(the, fxID(the, place_.property));
      }
      if (place_.property != nullptr && place_.subProperty != nullptr) {
        fxGetID(the, fxID(the, place_.subProperty));
      }
      return;
  }
}

void XdbHost::Disposer::operator()(char* buffer) const { FskMemPtrDispose(buffer); }

XdbHost::XdbHost(FskMachine* machine) : the_(fxBeginHost(machine)) {}

XdbHost::~XdbHost() {
  buffers_.clear();
  fxEndHost(the_);
}

void XdbHost::Vars(int32_t count) { fxVars(the_, count); }

FskSlot* XdbHost::Local(int32_t index) { return fxCheckVar(the_, index); }

XdbPlace XdbHost::Master() const { return XdbPlace{XdbMasterSlot(), nullptr}; }

XdbPlace XdbHost::MasterProperty(const char* property) const { return XdbPlace{XdbMasterSlot(), property}; }

XdbPlace XdbHost::Global() const { return XdbPlace{fxGlobal(the_), nullptr}; }

XdbPlace XdbHost::GlobalProperty(const char* property, const char* subProperty) const {
  return XdbPlace{fxGlobal(the_), property, subProperty};
}

XdbPlace XdbHost::LocalPlace(int32_t index) { return XdbPlace{Local(index), nullptr}; }

XdbPlace XdbHost::LocalProperty(int32_t index, const char* property) { return XdbPlace{Local(index), property}; }

bool XdbHost::Utf8(const char16_t* text, const char** out) {
  char* buffer = nullptr;
  if (XdbToUtf8(text, &buffer) != 0) {
    return false;
  }
  std::unique_ptr<char, Disposer> owned(buffer);
  try {
    buffers_.push_back(std::move(owned));
  } catch (const std::bad_alloc&) {
    return false;
  }
  *out = buffer;
  return true;
}

void XdbHost::PushPlace(XdbPlace place) { XdbArg::Copy(place).Push(the_); }

void XdbHost::PushArguments(std::initializer_list<XdbArg> arguments, int32_t extra) {
  const auto count = static_cast<int32_t>(arguments.size());
  fxOverflow(the_, -(count + extra), nullptr, 0);
  // Last to first.
  for (auto argument = std::rbegin(arguments); argument != std::rend(arguments); ++argument) {
    argument->Push(the_);
  }
  fxInteger(the_, fxPush(the_), count);
}

void XdbHost::Call(XdbPlace receiver, const char* method, std::initializer_list<XdbArg> arguments) {
  PushArguments(arguments, kCallOverhead);
  PushPlace(receiver);
  fxCallID(the_, fxID(the_, method));
}

void XdbHost::New(XdbPlace holder, const char* constructor, std::initializer_list<XdbArg> arguments) {
  PushArguments(arguments, kCallOverhead);
  PushPlace(holder);
  fxNewID(the_, fxID(the_, constructor));
}

void XdbHost::Read(XdbPlace place) {
  fxOverflow(the_, -1, nullptr, 0);
  PushPlace(place);
}

void XdbHost::Store(int32_t local) { fxPop(the_, Local(local)); }

void XdbHost::Drop() { fxPop(the_, nullptr); }

int32_t XdbHost::PopInteger() {
  const auto value = static_cast<int32_t>(fxToInteger(the_, fxTop(the_)));
  fxPop(the_, nullptr);
  return value;
}

int32_t XdbHost::LocalInteger(int32_t local) { return static_cast<int32_t>(fxToInteger(the_, Local(local))); }

bool XdbHost::IsInstance(XdbPlace object, XdbPlace prototype) {
  fxOverflow(the_, -2, nullptr, 0);
  PushPlace(prototype);
  PushPlace(object);
  return fxIsInstanceOf(the_);
}
