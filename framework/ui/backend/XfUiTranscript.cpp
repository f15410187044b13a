#include "framework/ui/backend/XfUiTranscript.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/text/XpStringA.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr mode_t kTranscriptMode = 0644;

// Writes all of data. A transcript that cannot be written does not stop the
// program it records; its first failed write is told on standard error.
void WriteAll(int fd, std::string_view data, bool* failed) {
  const XpResult written = XpWriteAll(XpSysCalls::Current(), fd, data.data(), data.size());
  if (written == kXpOk || *failed) {
    return;
  }
  *failed = true;
  std::fprintf(stderr, "cannot write the transcript to descriptor %d: 0x%04X%s\n", fd,
               static_cast<unsigned>(written), XpSysFailureSuffix().c_str());
}

// The pending transcript file; published when the last line is written.
class PendingTranscript {
 public:
  explicit PendingTranscript(XpString path) : path_(std::move(path)) {}
  PendingTranscript(const PendingTranscript&) = delete;
  PendingTranscript& operator=(const PendingTranscript&) = delete;
  ~PendingTranscript() {
    XpResult result = failure_;
    if (result == kXpOk) result = file_.Sync();
    if (result == kXpOk) result = file_.Publish(true);
    if (result == kXpOk) result = file_.SyncFolder();
    if (result != kXpOk) {
      std::fprintf(stderr, "cannot write the transcript %s: 0x%04X\n",
                   std::string(path_.ToMultiByte().View()).c_str(), static_cast<unsigned>(result));
    }
  }

  XpResult Create() {
    XpPendingFile::Options options;
    options.mode = kTranscriptMode;
    return file_.Create(path_, options);
  }

  void Append(std::string_view text) {
    if (failure_ == kXpOk) failure_ = file_.Write(text);
  }

 private:
  XpString path_;
  XpPendingFile file_;
  // The first failed write; the old transcript then stays.
  XpResult failure_ = kXpOk;
};

void AppendHexByte(std::string& out, uint8_t byte) {
  char buffer[5];
  std::snprintf(buffer, sizeof(buffer), "\\x%02X", byte);
  out += buffer;
}

}  // namespace

std::unique_ptr<XfUiTranscript> XfUiTranscript::ForDescriptor(int fd, bool owned) {
  struct Descriptor {
    Descriptor(int descriptorFd, bool isOwned) : fd(descriptorFd), owned(isOwned) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
      if (owned) {
        // Every line went out with its own write; nothing is pending.
        (void)XpSysCalls::Current().Close(fd);
      }
    }
    int fd;
    bool owned;
    bool failed = false;
  };
  auto descriptor = std::make_shared<Descriptor>(fd, owned);
  return std::make_unique<XfUiTranscript>([descriptor](std::string_view line) {
    std::string text(line);
    text += '\n';
    WriteAll(descriptor->fd, text, &descriptor->failed);
  });
}

std::unique_ptr<XfUiTranscript> XfUiTranscript::ForFile(const XpString& path, std::string* error) {
  auto pending = std::make_shared<PendingTranscript>(path);
  const XpResult created = pending->Create();
  if (created != kXpOk) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%04X", static_cast<unsigned>(created));
    if (error != nullptr) {
      *error = "cannot write the transcript " + std::string(path.ToMultiByte().View()) + ": " + code;
    }
    return nullptr;
  }
  return std::make_unique<XfUiTranscript>([pending](std::string_view line) {
    std::string text(line);
    text += '\n';
    pending->Append(text);
  });
}

std::string XfUiTranscript::Quote(const XpString& text) { return Quote(text.ToMultiByte().View()); }

std::string XfUiTranscript::Quote(std::string_view utf8) {
  std::string out = "\"";
  while (!utf8.empty()) {
    const auto byte = static_cast<uint8_t>(utf8[0]);
    char32_t codePoint = 0;
    const size_t length = XpUtf8DecodeOne(utf8, codePoint);
    if (length == 0) {
      AppendHexByte(out, byte);
      utf8.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out.append(utf8.substr(0, length));
      utf8.remove_prefix(length);
      continue;
    }
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          AppendHexByte(out, byte);
        } else {
          out += static_cast<char>(byte);
        }
        break;
    }
    utf8.remove_prefix(1);
  }
  out += '"';
  return out;
}
