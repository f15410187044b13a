#include "platform/text/XpStringA.h"

#include <algorithm>
#include <new>
#include <string>

#include "platform/text/XpString.h"
#include "platform/text/XpStringRep.h"
#include "platform/text/XpUtf.h"

namespace {

using Core = XpStringCoreA;

std::string_view ViewOf(const char* text) { return text == nullptr ? std::string_view() : std::string_view(text); }

}  // namespace

XpStringA::XpStringA() : rep_(Core::ThreadEmpty()) { Refresh(); }

XpStringA::XpStringA(const char* text) : XpStringA(ViewOf(text)) {}

XpStringA::XpStringA(const char* text, int32_t length)
    : XpStringA(text == nullptr || length <= 0 ? std::string_view()
                                               : std::string_view(text, static_cast<size_t>(length))) {}

XpStringA::XpStringA(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(Core::kMaxLength)) {
    rep_ = Core::ThreadEmpty();
  } else {
    rep_ = Core::Create(text.data(), static_cast<int32_t>(text.size()));
  }
  Refresh();
}

XpStringA::XpStringA(const XpStringA& other) : chars_(other.chars_), rep_(other.rep_) { Core::Retain(rep_); }

XpStringA::XpStringA(XpStringA&& other) noexcept : chars_(other.chars_), rep_(other.rep_) {
  other.rep_ = nullptr;
  other.chars_ = nullptr;
}

XpStringA::~XpStringA() {
  Core::Release(rep_);
  rep_ = nullptr;
  chars_ = nullptr;
}

XpStringA& XpStringA::operator=(const XpStringA& other) {
  if (rep_ == other.rep_) return *this;
  Core::Retain(other.rep_);
  Core::Release(rep_);
  rep_ = other.rep_;
  Refresh();
  return *this;
}

XpStringA& XpStringA::operator=(XpStringA&& other) noexcept {
  if (this == &other) return *this;
  Core::Release(rep_);
  rep_ = other.rep_;
  other.rep_ = nullptr;
  other.chars_ = nullptr;
  Refresh();
  return *this;
}

XpStringA& XpStringA::operator=(const char* text) {
  const int32_t length = Core::TextLength(text);
  if (length >= 0 && Core::Assign(rep_, text, length)) Refresh();
  return *this;
}

XpStringA& XpStringA::operator+=(const char* text) {
  const int32_t length = Core::TextLength(text);
  if (length >= 0 && Core::Append(rep_, text, length)) Refresh();
  return *this;
}

XpStringA& XpStringA::operator+=(const XpStringA& text) {
  if (Core::Append(rep_, text.CStr(), text.GetLength())) Refresh();
  return *this;
}

const char* XpStringA::CStr() const { return rep_ != nullptr ? rep_->buffer : ""; }

const char* XpStringA::CharPtr(int32_t index) const { return CStr() + index; }

int32_t XpStringA::GetLength() const { return rep_ != nullptr ? rep_->length : 0; }

bool XpStringA::IsEmpty() const { return GetLength() == 0; }

std::string_view XpStringA::View() const { return std::string_view(CStr(), static_cast<size_t>(GetLength())); }

std::string XpStringA::ToStdString() const { return std::string(View()); }

int XpStringA::Compare(const char* text) const {
  const int order = View().compare(ViewOf(text));
  return (order > 0) - (order < 0);
}

XpStringA XpStringA::Left(int32_t count) const {
  if (count >= GetLength()) return *this;
  if (count <= 0) return XpStringA();
  return XpStringA(CStr(), count);
}

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

int32_t XpStringA::CapacityForTest() const { return rep_ != nullptr ? rep_->capacity : 0; }

void XpStringA::Refresh() { chars_ = rep_ != nullptr ? rep_->buffer : nullptr; }

bool operator==(const XpStringA& a, const char* b) { return a.View() == ViewOf(b); }
bool operator==(const char* a, const XpStringA& b) { return b == a; }
bool operator==(const XpStringA& a, const XpStringA& b) { return a.View() == b.View(); }
bool operator!=(const XpStringA& a, const char* b) { return !(a == b); }
bool operator!=(const XpStringA& a, const XpStringA& b) { return !(a == b); }
bool operator<(const XpStringA& a, const XpStringA& b) { return a.View() < b.View(); }
