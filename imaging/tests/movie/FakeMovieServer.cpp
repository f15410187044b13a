// A stand-in for the movie frame server, driven by a script. The last
// argument names a control folder (the plug-in folder of the client). The
// server appends a line per event to <folder>/log:
//   start <pid> <arguments after the program, joined by '|'>
//   <O> <hex of the 8-byte open block and the path>
//   <L> <hex of the 24-byte frame request>
//   <P> / <C> / <Q>
//   ?? <hex of an unknown token>
//   exit
// <folder>/script holds one directive a line. Options:
//   exit-after N   end after the N-th request
//   ignore-quit    keep running after "<Q>"
// The other lines answer "<L>" and "<P>" requests in turn ("<E>" when none
// are left):
//   frame W H COUNT AX AY   "<L>", the header and COUNT pattern bytes
//                           (byte i is (7 * i + 3) mod 256)
//   hex BYTES               these bytes
//   partial BYTES           these bytes, then end
//   hang                    never answer
//   exit                    end without answering
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fs/XpRestarted.h"

namespace {

constexpr size_t kTokenBytes = 6;
constexpr size_t kOpenBlockBytes = 8;
constexpr size_t kFrameRequestBytes = 24;
constexpr uint32_t kMaxPathUnits = 4096;

struct Script {
  std::deque<std::string> replies;
  long exitAfter = -1;
  bool ignoreQuit = false;
};

std::string gLogPath;

void Log(const std::string& line) {
  std::ofstream log(gLogPath, std::ios::app);
  log << line << '\n';
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::vector<uint8_t> FromHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

[[noreturn]] void End(int code) {
  Log("exit");
  std::_Exit(code);
}

[[noreturn]] void HangForever() {
  for (;;) pause();
}

bool ReadExact(std::vector<uint8_t>& bytes, size_t count) {
  bytes.assign(count, 0);
  size_t done = 0;
  while (done < count) {
    const ssize_t got =
        XpRestarted([&] { return read(STDIN_FILENO, bytes.data() + done, count - done); });
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

void WriteAll(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written =
        XpRestarted([&] { return write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done); });
    if (written <= 0) End(2);
    done += static_cast<size_t>(written);
  }
}

std::vector<uint8_t> Token(const char* text) {
  return {static_cast<uint8_t>(text[0]), 0, static_cast<uint8_t>(text[1]), 0,
          static_cast<uint8_t>(text[2]), 0};
}

void PutInt32(std::vector<uint8_t>& bytes, int64_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Script LoadScript(const std::string& path) {
  Script script;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "exit-after") {
      words >> script.exitAfter;
    } else if (word == "ignore-quit") {
      script.ignoreQuit = true;
    } else if (!word.empty()) {
      script.replies.push_back(line);
    }
  }
  return script;
}

void Reply(Script& script) {
  if (script.replies.empty()) {
    WriteAll(Token("<E>"));
    return;
  }
  std::istringstream words(script.replies.front());
  script.replies.pop_front();
  std::string kind;
  words >> kind;
  if (kind == "frame") {
    int64_t width = 0, height = 0, count = 0, aspectX = 0, aspectY = 0;
    words >> width >> height >> count >> aspectX >> aspectY;
    std::vector<uint8_t> bytes = Token("<L>");
    for (const int64_t value : {width, height, count, aspectX, aspectY}) PutInt32(bytes, value);
    for (int64_t i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(7 * i + 3));
    WriteAll(bytes);
  } else if (kind == "hex" || kind == "partial") {
    std::string hex;
    words >> hex;
    WriteAll(FromHex(hex));
    if (kind == "partial") End(0);
  } else if (kind == "hang") {
    HangForever();
  } else {
    End(0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 3;
  const std::string folder = argv[argc - 1];
  gLogPath = folder + "/log";
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += '|';
    arguments += argv[i];
  }
  Log("start " + std::to_string(getpid()) + " " + arguments);
  Script script = LoadScript(folder + "/script");

  long requests = 0;
  std::vector<uint8_t> token;
  while (ReadExact(token, kTokenBytes)) {
    std::vector<uint8_t> body;
    if (token == Token("<O>")) {
      std::vector<uint8_t> path;
      if (!ReadExact(body, kOpenBlockBytes)) End(1);
      const uint32_t units = body[4] | body[5] << 8 | body[6] << 16 | static_cast<uint32_t>(body[7]) << 24;
      if (units > kMaxPathUnits || !ReadExact(path, units * 2)) End(1);
      body.insert(body.end(), path.begin(), path.end());
      Log("<O> " + Hex(body));
    } else if (token == Token("<L>")) {
      if (!ReadExact(body, kFrameRequestBytes)) End(1);
      Log("<L> " + Hex(body));
      Reply(script);
    } else if (token == Token("<P>")) {
      Log("<P>");
      Reply(script);
    } else if (token == Token("<C>")) {
      Log("<C>");
    } else if (token == Token("<Q>")) {
      Log("<Q>");
      if (script.ignoreQuit) HangForever();
      End(0);
    } else {
      Log("?? " + Hex(token));
      End(1);
    }
    if (++requests == script.exitAfter) End(0);
  }
  End(0);
}
