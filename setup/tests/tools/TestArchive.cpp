#include "setup/tests/tools/TestArchive.h"

#include <zip.h>

namespace setuptest {

bool WriteZipArchive(const std::string& path, const std::vector<ArchiveEntry>& entries) {
  zipFile archive = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (archive == nullptr) return false;
  bool ok = true;
  for (const auto& [name, bytes] : entries) {
    zip_fileinfo info{};
    ok = ok && zipOpenNewFileInZip64(archive, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                     Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(archive, bytes.data(), static_cast<unsigned>(bytes.size())) ==
                   ZIP_OK;
    ok = ok && zipCloseFileInZip(archive) == ZIP_OK;
  }
  return zipClose(archive, nullptr) == ZIP_OK && ok;
}

}  // namespace setuptest
