#include "platform/text/XpStringA.h"

#include <algorithm>
#include <new>
#include <string>

#include "platform/text/XpString.h"
#include "platform/text/XpStringRep.h"
#include "platform/text/XpUtf.h"

namespace {

using Core = XpStringCoreA;

}  // namespace

XpStringA::XpStringA() : rep_(Core::ThreadEmpty()) { Refresh(); }

XpStringA::XpStringA(const char* text) : XpStringA(Core::ViewOf(text)) {}

XpStringA::XpStringA(const char* text, int32_t length) : XpStringA(Core::ViewOf(text, length)) {}

XpStringA::XpStringA(std::string_view text) : rep_(Core::FromView(text)) { Refresh(); }

XpStringA::XpStringA(const XpStringA& other) : chars_(other.chars_), rep_(other.rep_) { Core::Retain(rep_); }

XpStringA::XpStringA(XpStringA&& other) noexcept {
  Core::Take(rep_, other.rep_);
  other.Refresh();
  Refresh();
}

XpStringA::~XpStringA() {
  Core::Release(rep_);
  rep_ = nullptr;
  chars_ = nullptr;
}

XpStringA& XpStringA::operator=(const XpStringA& other) {
  if (Core::Share(rep_, other.rep_)) Refresh();
  return *this;
}

XpStringA& XpStringA::operator=(XpStringA&& other) noexcept {
  if (this == &other) return *this;
  Core::Take(rep_, other.rep_);
  other.Refresh();
  Refresh();
  return *this;
}

XpStringA& XpStringA::operator=(const char* text) {
  if (Core::AssignText(rep_, text)) Refresh();
  return *this;
}

XpStringA& XpStringA::operator+=(const char* text) {
  if (Core::AppendText(rep_, text)) Refresh();
  return *this;
}

XpStringA& XpStringA::operator+=(const XpStringA& text) {
  if (Core::Append(rep_, text.CStr(), text.GetLength())) Refresh();
  return *this;
}

const char* XpStringA::CStr() const { return Core::Chars(rep_); }

const char* XpStringA::CharPtr(int32_t index) const { return CStr() + index; }

int32_t XpStringA::GetLength() const { return Core::Length(rep_); }

bool XpStringA::IsEmpty() const { return GetLength() == 0; }

std::string_view XpStringA::View() const { return Core::ViewOfRep(rep_); }

std::string XpStringA::ToStdString() const { return std::string(View()); }

int XpStringA::Compare(const char* text) const { return Core::Compare(View(), Core::ViewOf(text)); }

XpStringA XpStringA::Left(int32_t count) const { return Core::Left(*this, count); }

XpString XpStringA::ToWide() const {
  XpString wide;
  ToWideInto(wide);
  return wide;
}

void XpStringA::ToWideInto(XpString& target) const {
  try {
    const std::u16string units = XpUtf8ToUtf16(View());
    target = XpString(std::u16string_view(units));
  } catch (const std::bad_alloc&) {
    target = XpString();
  }
}

int32_t XpStringA::CapacityForTest() const { return Core::Capacity(rep_); }

void XpStringA::Refresh() { chars_ = rep_ != nullptr ? rep_->buffer : nullptr; }

bool operator==(const XpStringA& a, const char* b) { return a.View() == Core::ViewOf(b); }
bool operator==(const char* a, const XpStringA& b) { return b == a; }
bool operator==(const XpStringA& a, const XpStringA& b) { return a.View() == b.View(); }
bool operator!=(const XpStringA& a, const char* b) { return !(a == b); }
bool operator!=(const XpStringA& a, const XpStringA& b) { return !(a == b); }
bool operator<(const XpStringA& a, const XpStringA& b) { return a.View() < b.View(); }
