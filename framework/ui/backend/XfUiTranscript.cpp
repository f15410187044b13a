#include "framework/ui/backend/XfUiTranscript.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/text/XpStringA.h"

namespace {

// Writes all of data, retrying after signals.
void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
}

// The length of the valid UTF-8 sequence at the start of text; 0 when the
// first byte does not begin one.
size_t ValidSequenceLength(std::string_view text) {
  const auto lead = static_cast<uint8_t>(text[0]);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t code = 0;
  if (lead < 0x80) {
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(text[i]);
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (next & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < minimum || code > 0x10FFFF || surrogate) {
    return 0;
  }
  return length;
}

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
        close(fd);
      }
    }
    int fd;
    bool owned;
  };
  auto descriptor = std::make_shared<Descriptor>(fd, owned);
  return std::make_unique<XfUiTranscript>([descriptor](std::string_view line) {
    std::string text(line);
    text += '\n';
    WriteAll(descriptor->fd, text);
  });
}

std::string XfUiTranscript::Quote(const XpString& text) { return Quote(text.ToMultiByte().View()); }

std::string XfUiTranscript::Quote(std::string_view utf8) {
  std::string out = "\"";
  while (!utf8.empty()) {
    const auto byte = static_cast<uint8_t>(utf8[0]);
    const size_t length = ValidSequenceLength(utf8);
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
