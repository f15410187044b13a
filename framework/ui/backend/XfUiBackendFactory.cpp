#include "framework/ui/backend/XfUiBackendFactory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "framework/ui/backend/XfUiAutomaticBackend.h"
#include "framework/ui/backend/XfUiScriptedBackend.h"
#include "framework/ui/backend/XfUiTerminalBackend.h"
#include "platform/text/XpStringA.h"

namespace {

std::unique_ptr<XfUiBackend> CreateScripted(const char* scriptPath, std::string* error) {
  XfUiScript script;
  if (!XfUiScript::Load(XpStringA(scriptPath).ToWide(), &script, error)) {
    return nullptr;
  }
  std::unique_ptr<XfUiTranscript> transcript;
  const char* transcriptPath = std::getenv(kXfUiTranscriptVariable);
  if (transcriptPath != nullptr && transcriptPath[0] != '\0') {
    transcript = XfUiTranscript::ForFile(XpStringA(transcriptPath).ToWide(), error);
    if (transcript == nullptr) {
      return nullptr;
    }
  } else {
    transcript = XfUiTranscript::ForDescriptor(STDOUT_FILENO, false);
  }
  return std::make_unique<XfUiScriptedBackend>(std::move(script), std::move(transcript));
}

}  // namespace

std::unique_ptr<XfUiBackend> XfUiCreateBackend(std::string* error) {
  const char* scriptPath = std::getenv(kXfUiScriptVariable);
  if (scriptPath != nullptr && scriptPath[0] != '\0') {
    return CreateScripted(scriptPath, error);
  }
  if (isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1) {
    return std::make_unique<XfUiTerminalBackend>(STDIN_FILENO, STDOUT_FILENO, true);
  }
  return std::make_unique<XfUiAutomaticBackend>(STDERR_FILENO);
}
