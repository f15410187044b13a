#include "framework/ui/dialog/XfMessageBoxStyle.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

struct ButtonInfo {
  int32_t answer;
  const char* name;
  char letter;
};

constexpr ButtonInfo kButtonInfo[] = {
    {kXfIdOk, "OK", 'o'},       {kXfIdCancel, "Cancel", 'c'}, {kXfIdAbort, "Abort", 'a'},
    {kXfIdRetry, "Retry", 'r'}, {kXfIdIgnore, "Ignore", 'i'}, {kXfIdYes, "Yes", 'y'},
    {kXfIdNo, "No", 'n'},
};

std::vector<int32_t> ButtonsOf(uint32_t style) {
  switch (style & kXfMbButtonsMask) {
    case kXfMbOkCancel:
      return {kXfIdOk, kXfIdCancel};
    case kXfMbAbortRetryIgnore:
      return {kXfIdAbort, kXfIdRetry, kXfIdIgnore};
    case kXfMbYesNoCancel:
      return {kXfIdYes, kXfIdNo, kXfIdCancel};
    case kXfMbYesNo:
      return {kXfIdYes, kXfIdNo};
    case kXfMbRetryCancel:
      return {kXfIdRetry, kXfIdCancel};
    default:
      return {kXfIdOk};
  }
}

std::string Lower(const char* text) {
  std::string result(text == nullptr ? "" : text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return result;
}

}  // namespace

XfMessageBoxStyle::XfMessageBoxStyle(uint32_t style) : style_(style), buttons_(ButtonsOf(style)) {}

bool XfMessageBoxStyle::HasButton(int32_t answer) const {
  return std::find(buttons_.begin(), buttons_.end(), answer) != buttons_.end();
}

int32_t XfMessageBoxStyle::DefaultAnswer() const {
  const size_t index = (style_ & kXfMbDefButtonMask) >> 8;
  return index < buttons_.size() ? buttons_[index] : buttons_.front();
}

int32_t XfMessageBoxStyle::CancelAnswer() const {
  if (HasButton(kXfIdCancel)) {
    return kXfIdCancel;
  }
  if (HasButton(kXfIdNo)) {
    return kXfIdNo;
  }
  if (HasButton(kXfIdOk)) {
    return kXfIdOk;
  }
  return kXfIdAbort;
}

const char* XfMessageBoxStyle::IconName() const {
  switch (style_ & kXfMbIconMask) {
    case kXfMbIconHand:
      return "hand";
    case kXfMbIconQuestion:
      return "question";
    case kXfMbIconExclamation:
      return "exclamation";
    case kXfMbIconInformation:
      return "information";
    default:
      return "";
  }
}

const char* XfMessageBoxStyle::ButtonName(int32_t answer) {
  for (const ButtonInfo& info : kButtonInfo) {
    if (info.answer == answer) {
      return info.name;
    }
  }
  return "";
}

char XfMessageBoxStyle::ButtonLetter(int32_t answer) {
  for (const ButtonInfo& info : kButtonInfo) {
    if (info.answer == answer) {
      return info.letter;
    }
  }
  return '\0';
}

int32_t XfMessageBoxStyle::AnswerFromWord(const char* word) {
  const std::string wanted = Lower(word);
  for (const ButtonInfo& info : kButtonInfo) {
    if (wanted == Lower(info.name) || (wanted.size() == 1 && wanted[0] == info.letter)) {
      return info.answer;
    }
  }
  return 0;
}
