#include "accessor/task/K2ExportItemBuilder.h"

#include "framework/suite/SfContentInfoXML.h"
#include "imaging/format/XpFormatChecker.h"
#include "platform/path/XpPath.h"
#include "platform/value/XpIniElement.h"

namespace {

constexpr XpFormatKind kSideFileBit = 0x80000000;

bool IsSideFile(const XpString& path) {
  return (XpFormatChecker::KindFromExtension(path) & kSideFileBit) != 0;
}

[[nodiscard]] XpResult ReadFiles(const XpIniElement* contents, K2ExportItem* item) {
  const int32_t count = SfContentInfoXML::GetFileCount(contents);
  for (int32_t index = 0; index < count; ++index) {
    XpString path;
    if (SfContentInfoXML::GetFile(contents, static_cast<uint32_t>(index), &path) != kXpOk ||
        IsSideFile(path)) {
      continue;
    }
    // A hand-over file written by hand may name its files from the working
    // folder.
    path = XpPathMakeAbsolute(path);
    XpString folder;
    XpPathSplit(path, &folder, nullptr, nullptr);
    if (item->fileNames.empty()) {
      item->sourceFolder = folder;
      item->fileToWrite = path;
    } else if (folder != item->sourceFolder) {
      return kXpErrValueParse;
    }
    item->fileNames.push_back(XpPathGetFileName(path));
  }
  return kXpOk;
}

void ReadShootingDate(const XpIniElement* contents, K2ExportItem* item) {
  XpDateTime date;
  if (SfContentInfoXML::GetDateTimeOriginal(contents, &date) == kXpOk) {
    item->shootingDate = date;
    return;
  }
  if (item->HasFiles() && XpFormatChecker::GetFileDate(item->FirstSourcePath(), date) &&
      date.IsValid()) {
    item->shootingDate = date;
  }
}

void ReadFavorites(const XpIniElement* contents, K2ExportItem* item) {
  const XpIniElement* list = contents->Find(u"FavoriteList");
  if (contents->Find(u"Files") == nullptr || list == nullptr ||
      list->GetType() != kXpIniTypeArray) {
    return;
  }
  for (int32_t index = 0; index < list->GetCount(); ++index) {
    const XpIniElement* element = list->GetAt(index);
    int32_t value = 0;
    if (element != nullptr && element->GetInt32(&value) == kXpOk) {
      item->favoriteList.push_back(value);
    }
  }
}

[[nodiscard]] XpResult ReadContentType(const XpIniElement* contents, K2ExportItem* item) {
  const XpIniElement* type = contents->Find(u"ContentType");
  if (contents->Find(u"Files") == nullptr || type == nullptr) {
    return kXpErrValueNotFound;
  }
  int64_t value = 0;
  if (type->GetInt64(&value) != kXpOk) {
    return kXpErrValueNotFound;
  }
  item->contentType = static_cast<uint32_t>(value);
  return kXpOk;
}

[[nodiscard]] XpResult ReadContents(const XpIniElement* contents, K2ExportItemVector* items) {
  K2ExportItem item;
  XpResult result = ReadFiles(contents, &item);
  if (result != kXpOk) {
    return result;
  }
  ReadShootingDate(contents, &item);
  ReadFavorites(contents, &item);
  result = ReadContentType(contents, &item);
  if (result != kXpOk) {
    return result;
  }
  items->push_back(item);
  return kXpOk;
}

}  // namespace

[[nodiscard]] XpResult K2BuildExportItems(const SfContentInfoXML& content,
                                          K2ExportItemVector* items) {
  const int32_t groupCount = content.GetContentsGroupCount();
  if (groupCount < 1) {
    return kXpErrValueParse;
  }
  for (int32_t group = 0; group < groupCount; ++group) {
    const XpIniElement* groupElement = content.GetContentsGroup(static_cast<uint32_t>(group));
    const int32_t contentsCount = SfContentInfoXML::GetContentsCount(groupElement);
    if (groupElement == nullptr || contentsCount < 0) {
      return kXpErrValueParse;
    }
    for (int32_t index = 0; index < contentsCount; ++index) {
      const XpIniElement* contents =
          SfContentInfoXML::GetContents(groupElement, static_cast<uint32_t>(index));
      if (contents == nullptr) {
        return kXpErrValueParse;
      }
      const XpResult result = ReadContents(contents, items);
      if (result != kXpOk) {
        return result;
      }
    }
  }
  return kXpOk;
}
