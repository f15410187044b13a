#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text/XpString.h"

// Where the scripted back end writes what was shown and answered: one line
// per event, no time stamps.
class XfUiTranscript {
 public:
  using Sink = std::function<void(std::string_view line)>;

  explicit XfUiTranscript(Sink sink) : sink_(std::move(sink)) {}

  // Lines written to a file descriptor, which is closed at the end when
  // owned.
  static std::unique_ptr<XfUiTranscript> ForDescriptor(int fd, bool owned);
  // Lines written to a new file beside path that replaces the file at path
  // when the transcript ends (XpPendingFile), so a run killed midway leaves
  // the previous transcript whole. Null, with the reason in *error, when the
  // file cannot be made.
  static std::unique_ptr<XfUiTranscript> ForFile(const XpString& path, std::string* error);

  void Line(const std::string& line) { sink_(line); }

  // text in double quotes as UTF-8; quotes, backslashes and control
  // characters escaped (\" \\ \n \r \t \xHH), and every byte that is not
  // part of valid UTF-8 written as \xHH.
  static std::string Quote(const XpString& text);
  static std::string Quote(std::string_view utf8);

 private:
  Sink sink_;
};
