#include "setup/signature/MsiStreamReader.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kClassIdLength = 16;
constexpr gsf_off_t kReadBlock = 65536;

struct ObjectUnref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
using InputHandle = std::unique_ptr<GsfInput, ObjectUnref>;

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// A child of a folder with its name as UTF-16LE bytes and a terminator.
struct Child {
  int index = 0;
  std::string name;
  std::string key;
};

std::string Utf16LeKey(const char* utf8) {
  std::string key;
  glong count = 0;
  gunichar2* units = g_utf8_to_utf16(utf8, -1, nullptr, &count, nullptr);
  if (units != nullptr) {
    for (glong i = 0; i < count; ++i) {
      key += static_cast<char>(units[i] & 0xFF);
      key += static_cast<char>(units[i] >> 8);
    }
    g_free(units);
  }
  key.append(2, '\0');
  return key;
}

bool KeyBefore(const Child& a, const Child& b) {
  const size_t common = std::min(a.key.size(), b.key.size());
  const int diff = std::memcmp(a.key.data(), b.key.data(), common);
  if (diff != 0) return diff < 0;
  return a.key.size() < b.key.size();
}

std::vector<Child> SortedChildren(GsfInfile* folder) {
  std::vector<Child> children;
  const int count = gsf_infile_num_children(folder);
  for (int i = 0; i < count; ++i) {
    const char* name = gsf_infile_name_by_index(folder, i);
    if (name == nullptr) name = "";
    children.push_back({i, name, Utf16LeKey(name)});
  }
  std::stable_sort(children.begin(), children.end(), KeyBefore);
  return children;
}

bool ReadAll(GsfInput* input, std::string* bytes) {
  bytes->clear();
  gsf_off_t left = gsf_input_size(input);
  while (left > 0) {
    const gsf_off_t count = std::min(left, kReadBlock);
    const guint8* data = gsf_input_read(input, static_cast<size_t>(count), nullptr);
    if (data == nullptr) return false;
    bytes->append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
    left -= count;
  }
  return true;
}

bool IsSignatureName(const std::string& name) {
  return name == MsiStreamReader::kSignatureStream || name == MsiStreamReader::kSignatureExStream;
}

bool HashFolder(GsfInfile* folder, bool isRoot, EVP_MD_CTX* context) {
  for (const Child& child : SortedChildren(folder)) {
    if (isRoot && IsSignatureName(child.name)) continue;
    const InputHandle input(gsf_infile_child_by_index(folder, child.index));
    if (!input) return false;
    if (GSF_IS_INFILE(input.get()) && gsf_infile_num_children(GSF_INFILE(input.get())) >= 0) {
      if (!HashFolder(GSF_INFILE(input.get()), false, context)) return false;
      continue;
    }
    std::string bytes;
    if (!ReadAll(input.get(), &bytes)) return false;
    if (EVP_DigestUpdate(context, bytes.data(), bytes.size()) != 1) return false;
  }
  guint8 classId[kClassIdLength] = {};
  if (GSF_IS_INFILE_MSOLE(folder) &&
      !gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(folder), classId)) {
    return false;
  }
  return EVP_DigestUpdate(context, classId, sizeof classId) == 1;
}

}  // namespace

MsiStreamReader::~MsiStreamReader() {
  if (root_ != nullptr) g_object_unref(root_);
}

bool MsiStreamReader::Open(const XpString& path) {
  if (root_ != nullptr) {
    g_object_unref(root_);
    root_ = nullptr;
  }
  GError* error = nullptr;
  const InputHandle input(gsf_input_stdio_new(path.ToMultiByte().CStr(), &error));
  if (error != nullptr) g_error_free(error);
  if (!input) return false;
  error = nullptr;
  root_ = gsf_infile_msole_new(input.get(), &error);
  if (error != nullptr) g_error_free(error);
  return root_ != nullptr;
}

bool MsiStreamReader::HasStream(const char* name) const {
  if (root_ == nullptr) return false;
  const InputHandle input(gsf_infile_child_by_name(root_, name));
  return input != nullptr;
}

bool MsiStreamReader::ReadStream(const char* name, std::string* bytes) const {
  if (root_ == nullptr) return false;
  const InputHandle input(gsf_infile_child_by_name(root_, name));
  return input != nullptr && ReadAll(input.get(), bytes);
}

bool MsiStreamReader::Digest(const EVP_MD* md, std::string* digest) const {
  if (root_ == nullptr || md == nullptr) return false;
  const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1) return false;
  if (!HashFolder(root_, true, context.get())) return false;
  unsigned char value[EVP_MAX_MD_SIZE] = {};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), value, &length) != 1) return false;
  digest->assign(reinterpret_cast<const char*>(value), length);
  return true;
}
