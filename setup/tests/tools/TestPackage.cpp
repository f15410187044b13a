#include "setup/tests/tools/TestPackage.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/text/XpString.h"
#include "setup/signature/MsiStreamReader.h"

extern char** environ;

namespace setuptest {

namespace {

constexpr size_t kSignatureProbe = 64;
constexpr size_t kSignatureDamage = 8;

}  // namespace

bool ReadBytes(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return out.good();
}

int RunProgram(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool BuildTestPackage(const std::string& path) {
  const std::string data = KAVO_SETUP_TEST_DATA;
  return RunProgram({"wixl", "--includedir", data, "-o", path, data + "/QMV.wxs"}) == 0;
}

bool SignPackage(const Credential& signer, const std::string& work, const std::string& in,
                 const std::string& out, const std::vector<std::string>& options) {
  const std::string certificate = work + "/signer.pem";
  const std::string key = work + "/signer.key";
  if (!WriteCertificatePem(signer, certificate) || !WriteKeyPem(signer, key)) return false;
  unlink(out.c_str());
  std::vector<std::string> arguments = {"osslsigncode", "sign", "-certs", certificate,
                                        "-key",         key,    "-in",    in,
                                        "-out",         out};
  arguments.insert(arguments.end(), options.begin(), options.end());
  const int status = RunProgram(arguments);
  unlink(key.c_str());
  unlink(certificate.c_str());
  return status == 0;
}

bool TamperPackageTable(const std::string& path) {
  std::string bytes;
  if (!ReadBytes(path, &bytes)) return false;
  const size_t at = bytes.find(kPackageMarker);
  if (at == std::string::npos) return false;
  bytes[at] ^= 0x20;
  return WriteBytes(path, bytes);
}

bool TamperPackageSignature(const std::string& path) {
  MsiStreamReader reader;
  std::string signature;
  if (!reader.Open(XpString::FromUtf8(path)) ||
      !reader.ReadStream(MsiStreamReader::kSignatureStream, &signature) ||
      signature.size() < kSignatureProbe) {
    return false;
  }
  std::string bytes;
  if (!ReadBytes(path, &bytes)) return false;
  const size_t at = bytes.find(signature.substr(0, kSignatureProbe));
  if (at == std::string::npos) return false;
  for (size_t i = 0; i < kSignatureDamage; ++i) bytes[at + i] = '\xFF';
  return WriteBytes(path, bytes);
}

}  // namespace setuptest
