#include "setup/tests/tools/MakeInstallSet.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "setup/tests/tools/RecordingMsiexec.h"
#include "setup/tests/tools/TestPackage.h"
#include "setup/tests/tools/TestPki.h"

namespace setuptest {

namespace {

constexpr size_t kDigestBlock = 20;
constexpr const char* kPackageName = "QMV.msi";
constexpr const char* kVersionText = "1.1.00.12250";
constexpr const char* kCabinetBytes = "cabinet of the test package";
constexpr const char* kSettingsAsMade = "InstallerID=ABC";
constexpr const char* kSettingsChanged = "InstallerID=ABD";

bool Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return false;
}

std::string Sha1Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE] = {};
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string Utf16Le(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// The signed package in work/QMV.msi.
bool MakeSignedPackage(const std::string& dir, const std::string& work, std::string* error) {
  const Credential ca = MakeCertificateAuthority("Test Root");
  CertificateRequest request;
  request.commonName = "Kavo Corporation Europe";
  const Credential leaf = MakeLeaf(request, ca);
  if (!WriteCertificatePem(ca, dir + "/test-ca.pem")) {
    return Fail(error, "cannot write test-ca.pem");
  }
  const std::string unsigned_ = work + "/unsigned.msi";
  if (!BuildTestPackage(unsigned_)) return Fail(error, "wixl cannot build the package");
  if (!SignPackage(leaf, work, unsigned_, work + "/" + kPackageName)) {
    return Fail(error, "osslsigncode cannot sign the package");
  }
  return true;
}

}  // namespace

std::string InstallSetSettings(const std::string& extraSettings) {
  return std::string("[General]\r\n") + kSettingsAsMade +
         "\r\nSettings=2\r\nTarget=QMV.msi\r\nExtract=QMV.zip\r\n" + extraSettings +
         "[Bootstrap]\r\nErrorCaptionText=%s Setup\r\nProductName=QMV\r\n";
}

std::string DigestFileText(const std::string& settings) {
  const std::string content = settings.substr(0, settings.find('\0'));
  return Utf16Le(Sha1Hex(content.substr(0, content.size() / kDigestBlock * kDigestBlock)));
}

bool MakeInstallSet(const std::string& dir, const std::string& setupProgram,
                    const InstallSetOptions& options, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code code;
  const std::string work = dir + "/.signing";
  fs::create_directories(work, code);
  if (code) return Fail(error, "cannot make " + work);
  fs::copy_file(setupProgram, dir + "/setup", fs::copy_options::overwrite_existing, code);
  if (code) return Fail(error, "cannot copy " + setupProgram);
  ::chmod((dir + "/setup").c_str(), 0755);
  if (!options.withoutInstaller && !WriteRecordingMsiexec(dir + "/Msiexec", error)) return false;

  const bool packaged = MakeSignedPackage(dir, work, error);
  std::string package;
  const bool read = packaged && ReadBytes(work + "/" + kPackageName, &package);
  fs::remove_all(work, code);
  if (!packaged) return false;
  if (!read) return Fail(error, "cannot read the signed package");
  const std::string loose = dir + "/" + kPackageName;
  if (!WriteBytes(loose, package)) return Fail(error, "cannot write " + loose);
  if (options.tamperPackage) {
    if (!TamperPackageTable(loose) || !ReadBytes(loose, &package)) {
      return Fail(error, "cannot change the package");
    }
  }

  std::string settings = InstallSetSettings(options.extraSettings);
  const std::string digest = DigestFileText(settings);
  if (options.tamperSettings) {
    settings.replace(settings.find(kSettingsAsMade), std::string(kSettingsChanged).size(),
                     kSettingsChanged);
  }
  if (!WriteBytes(dir + "/setup.ini", settings)) return Fail(error, "cannot write setup.ini");

  std::vector<ArchiveEntry> entries = {{kPackageName, package},
                                       {"Version.txt", kVersionText},
                                       {"data.bin", digest}};
  if (!options.omitCabinet) entries.emplace_back("QMV.cab", kCabinetBytes);
  entries.insert(entries.end(), options.extraEntries.begin(), options.extraEntries.end());
  if (!WriteZipArchive(dir + "/QMV.zip", entries)) return Fail(error, "cannot write QMV.zip");
  return true;
}

}  // namespace setuptest
