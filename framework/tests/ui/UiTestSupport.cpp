#include "framework/tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <utility>

#include "framework/ui/backend/XfUiScriptedBackend.h"

namespace ui_test {

std::unique_ptr<XfUiHost> MakeScriptedHost(std::string_view script, const Lines& lines, bool catchSignals) {
  XfUiScript parsed;
  std::string error;
  EXPECT_TRUE(XfUiScript::Parse(script, &parsed, &error)) << error;
  auto transcript = std::make_unique<XfUiTranscript>([lines](std::string_view line) { lines->emplace_back(line); });
  auto backend = std::make_unique<XfUiScriptedBackend>(std::move(parsed), std::move(transcript));
  XfUiHostOptions options;
  options.catchSignals = catchSignals;
  return std::make_unique<XfUiHost>(std::move(backend), options);
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, std::string_view prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (std::string_view(line).starts_with(prefix)) {
      found.push_back(line);
    }
  }
  return found;
}

void TestPresenter::Init(XfDialogModel& model, XfUiHost& host) {
  if (onInit) {
    onInit(*this, model, host);
  }
}

void TestPresenter::OnCommand(int32_t id) {
  commands.push_back(id);
  if (onCommand) {
    onCommand(*this, id);
    return;
  }
  XfDialogPresenter::OnCommand(id);
}

void TestPresenter::OnTimer(uint32_t id) {
  if (onTimer) {
    onTimer(*this, id);
  }
}

void AddOkCancel(XfDialogModel& model, const XpString& title) {
  model.SetTitle(title);
  model.Add(kXfIdOk, XfItemKind::kButton, u"OK");
  model.Add(kXfIdCancel, XfItemKind::kButton, u"Cancel");
}

}  // namespace ui_test
