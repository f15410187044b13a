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
  key.bytes_.assign(page.KeySize(), 0);
  switch (key.kind_) {
    case KeyKind::kInteger:
      CatalogStoreHost32(key.bytes_.data(), static_cast<int32_t>(fxToInteger(the, &value.Slot())));
      break;
    case KeyKind::kNumber: {
      double number = fxToNumber(the, &value.Slot());
      std::memcpy(key.bytes_.data(), &number, sizeof number);
      break;
    }
    case KeyKind::kString: {
      std::string text = fsk::ToString(the, value);
      std::memcpy(key.bytes_.data(), text.data(), std::min(text.size(), key.bytes_.size()));
      break;
    }
  }
  return key;
}

CatalogBtreeKey CatalogBtreeKey::FromEntry(const IndexPage& page, int index) {
  CatalogBtreeKey key;
  key.kind_ = page.Kind();
  const unsigned char* stored = page.Key(index);
  key.bytes_.assign(stored, stored + page.KeySize());
  return key;
}

int CatalogBtreeKey::Compare(const unsigned char* key) const {
  switch (kind_) {
    case KeyKind::kInteger: {
      int32_t a = CatalogLoadHost32(bytes_.data());
      int32_t b = CatalogLoadHost32(key);
      return a < b ? -1 : (a > b ? 1 : 0);
    }
    case KeyKind::kNumber:
      return CompareNumbers(LoadDouble(bytes_.data()), LoadDouble(key));
    case KeyKind::kString:
      return std::memcmp(bytes_.data(), key, bytes_.size());
  }
  return 0;
}

void CatalogBtreeKey::StoreAt(unsigned char* key) const { std::memcpy(key, bytes_.data(), bytes_.size()); }

CatalogBtreeKey::Position CatalogBtreeKey::Find(FskMachine* the, const IndexPage& page) const {
  if (page.Kind() != kind_ || page.KeySize() != bytes_.size()) {
    fxError(the, EINVAL);
  }
  int low = 0;
  int high = page.Count();
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (Compare(page.Key(middle)) > 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  bool found = low < page.Count() && Compare(page.Key(low)) == 0;
  return Position{low, found};
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
