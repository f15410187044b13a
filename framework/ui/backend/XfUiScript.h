#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/XpString.h"

// A script for the scripted back end. One step a line; '#' starts a
// comment; texts are double-quoted with the escapes \" \\ \n \r \t \xHH.
//
//   option clock virtual|real        timers on the virtual (default) or real clock
//   option timeout MS                how long a step may wait (default 10000)
//   wait MS                          let MS of clock time pass
//   box MATCH ACTIONS                MATCH: "text" (part of the text or caption) or *
//   form MATCH [CONDITION] ACTIONS   MATCH: a dialog id, "text" (part of the title) or *
//   folder MATCH ACTIONS             MATCH: "text" (part of the title or caption) or *
//
// Conditions: when ID == "text" | when ID != "text" | when ID contains "text"
//             | when ID enabled|disabled|checked|unchecked|visible|hidden
//             | at N %        (the dialog's progress bar at N percent or more)
// Actions:    box: press ANSWER (ok, cancel, abort, retry, ignore, yes, no or
//             the answer's number) | cancel
//             form: press ID | click ID | check ID on|off | type ID "text" | cancel
//             folder: pick "path" | cancel

enum class XfUiStepKind { kBox, kForm, kFolder, kWait };

enum class XfUiActionKind { kPress, kClick, kCheck, kType, kPick, kCancel };

struct XfUiAction {
  XfUiActionKind kind = XfUiActionKind::kPress;
  // The control id; for a box, the answer.
  int32_t id = 0;
  bool on = false;
  XpString text;
};

enum class XfUiConditionKind {
  kNone,
  kTextEquals,
  kTextDiffers,
  kTextContains,
  kEnabled,
  kDisabled,
  kChecked,
  kUnchecked,
  kVisible,
  kHidden,
  kPercentAtLeast,
};

struct XfUiCondition {
  XfUiConditionKind kind = XfUiConditionKind::kNone;
  int32_t id = 0;
  XpString text;
  int32_t percent = 0;
};

struct XfUiStep {
  XfUiStepKind kind = XfUiStepKind::kBox;
  int32_t line = 0;
  // The step as written, without its comment.
  std::string source;
  bool matchAny = false;
  int32_t dialogId = 0;
  XpString matchText;
  XfUiCondition condition;
  std::vector<XfUiAction> actions;
  int64_t waitMs = 0;
};

struct XfUiScript {
  static constexpr int64_t kDefaultTimeoutMs = 10000;

  bool realClock = false;
  int64_t timeoutMs = kDefaultTimeoutMs;
  std::vector<XfUiStep> steps;

  // False with a message naming the line when the text is not a script.
  static bool Parse(std::string_view text, XfUiScript* script, std::string* error);
  static bool Load(const XpString& path, XfUiScript* script, std::string* error);
};

// "box", "form", "folder", "wait".
const char* XfUiStepKindName(XfUiStepKind kind);
