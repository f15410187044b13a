#include "catalogdb/grammar/CatalogBtreeKey.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "catalogdb/common/CatalogByteOrder.h"

using CatalogBtree::IndexPage;
using CatalogBtree::KeyKind;

namespace {

double LoadDouble(const unsigned char* at) {
  double value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

int CompareNumbers(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return static_cast<int>(std::isnan(a)) - static_cast<int>(std::isnan(b));
  }
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

CatalogBtreeKey CatalogBtreeKey::FromValue(FskMachine* the, const fsk::Value& value, const IndexPage& page) {
  CatalogBtreeKey key;
  key.kind_ = page.Kind();
  key.Clear(page.KeySize());
  switch (key.kind_) {
    case KeyKind::kInteger:
      CatalogStoreHost32(key.Bytes(), static_cast<int32_t>(fxToInteger(the, &value.Slot())));
      break;
    case KeyKind::kNumber: {
      double number = fxToNumber(the, &value.Slot());
      std::memcpy(key.Bytes(), &number, sizeof number);
      break;
    }
    case KeyKind::kString: {
      std::string text = fsk::ToString(the, value);
      std::memcpy(key.Bytes(), text.data(), std::min(text.size(), key.size_));
      break;
    }
  }
  return key;
}

CatalogBtreeKey CatalogBtreeKey::FromEntry(const IndexPage& page, int index) {
  CatalogBtreeKey key;
  key.kind_ = page.Kind();
  key.Clear(page.KeySize());
  std::memcpy(key.Bytes(), page.Key(index), key.size_);
  return key;
}

void CatalogBtreeKey::Clear(size_t size) {
  size_ = size;
  short_.fill(0);
  if (size > kShortKey) {
    long_.assign(size, 0);
  }
}

int CatalogBtreeKey::Compare(const unsigned char* key) const {
  switch (kind_) {
    case KeyKind::kInteger: {
      int32_t a = CatalogLoadHost32(Bytes());
      int32_t b = CatalogLoadHost32(key);
      return a < b ? -1 : (a > b ? 1 : 0);
    }
    case KeyKind::kNumber:
      return CompareNumbers(LoadDouble(Bytes()), LoadDouble(key));
    case KeyKind::kString:
      return std::memcmp(Bytes(), key, size_);
  }
  return 0;
}

void CatalogBtreeKey::StoreAt(unsigned char* key) const { std::memcpy(key, Bytes(), size_); }

CatalogBtreeKey::Position CatalogBtreeKey::Find(FskMachine* the, const IndexPage& page) const {
  if (page.Kind() != kind_ || page.KeySize() != size_) {
    fxError(the, EINVAL);
  }
  // The key is loaded once; each probe loads only the stored key.
  switch (kind_) {
    case KeyKind::kInteger: {
      int32_t a = CatalogLoadHost32(Bytes());
      return FindIn(page, [a](const unsigned char* key) {
        int32_t b = CatalogLoadHost32(key);
        return a < b ? -1 : (a > b ? 1 : 0);
      });
    }
    case KeyKind::kNumber: {
      double a = LoadDouble(Bytes());
      return FindIn(page, [a](const unsigned char* key) { return CompareNumbers(a, LoadDouble(key)); });
    }
    case KeyKind::kString:
      break;
  }
  return FindIn(page, [this](const unsigned char* key) { return Compare(key); });
}

fsk::Value CatalogBtreeKey::ToValue(const IndexPage& page, int index) {
  const unsigned char* stored = page.Key(index);
  switch (page.Kind()) {
    case KeyKind::kInteger:
      return fsk::Value::Integer(CatalogLoadHost32(stored));
    case KeyKind::kNumber:
      return fsk::Value::Number(LoadDouble(stored));
    case KeyKind::kString: {
      const auto* text = reinterpret_cast<const char*>(stored);
      return fsk::Value::String(std::string_view(text, strnlen(text, page.KeySize())));
    }
  }
  return fsk::Value();
}
