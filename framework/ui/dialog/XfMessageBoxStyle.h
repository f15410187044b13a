#pragma once

#include <cstdint>
#include <vector>

// Answers of a message box.
inline constexpr int32_t kXfIdOk = 1;
inline constexpr int32_t kXfIdCancel = 2;
inline constexpr int32_t kXfIdAbort = 3;
inline constexpr int32_t kXfIdRetry = 4;
inline constexpr int32_t kXfIdIgnore = 5;
inline constexpr int32_t kXfIdYes = 6;
inline constexpr int32_t kXfIdNo = 7;

// Styles: the low four bits choose the buttons.
inline constexpr uint32_t kXfMbOk = 0x0;
inline constexpr uint32_t kXfMbOkCancel = 0x1;
inline constexpr uint32_t kXfMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kXfMbYesNoCancel = 0x3;
inline constexpr uint32_t kXfMbYesNo = 0x4;
inline constexpr uint32_t kXfMbRetryCancel = 0x5;
inline constexpr uint32_t kXfMbButtonsMask = 0xF;
// Icons.
inline constexpr uint32_t kXfMbIconHand = 0x10;
inline constexpr uint32_t kXfMbIconQuestion = 0x20;
inline constexpr uint32_t kXfMbIconExclamation = 0x30;
inline constexpr uint32_t kXfMbIconInformation = 0x40;
inline constexpr uint32_t kXfMbIconMask = 0xF0;
// The default button.
inline constexpr uint32_t kXfMbDefButton1 = 0x000;
inline constexpr uint32_t kXfMbDefButton2 = 0x100;
inline constexpr uint32_t kXfMbDefButton3 = 0x200;
inline constexpr uint32_t kXfMbDefButtonMask = 0xF00;

// What a message-box style means: its buttons in order, the default one,
// the answer that stands for "cancel" (Escape, Ctrl-C, end of input), and
// the icon.
class XfMessageBoxStyle {
 public:
  explicit XfMessageBoxStyle(uint32_t style);

  uint32_t Style() const { return style_; }
  // Answer codes in the order shown; a button set outside 0-5 shows OK.
  const std::vector<int32_t>& Buttons() const { return buttons_; }
  bool HasButton(int32_t answer) const;
  // The default button; the first when the style names one that is missing.
  int32_t DefaultAnswer() const;
  // Cancel when the box has it; else No; else OK for a box with only OK;
  // else Abort.
  int32_t CancelAnswer() const;
  // "information", "question", "exclamation", "hand" or "" for none.
  const char* IconName() const;

  // "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"; "" otherwise.
  static const char* ButtonName(int32_t answer);
  // The key that picks a button on a terminal: 'o', 'c', 'a', 'r', 'i', 'y', 'n'.
  static char ButtonLetter(int32_t answer);
  // The answer whose name or letter is word (any case); 0 when none.
  static int32_t AnswerFromWord(const char* word);

 private:
  uint32_t style_;
  std::vector<int32_t> buttons_;
};
