#include "outside/fsk/dbmanager/XdbDataRows.h"

#include <algorithm>
#include <memory>

#include "platform/memory/XpByteOrder.h"

namespace {

using fsk::Value;

constexpr char kKindPath[] = "CatalogGrammarExt.data";
constexpr int64_t kFieldBytes = 4;

int64_t Address(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer)); }

// Whether the stride span of count rows from field lies inside length
// bytes, as the natives require.
bool SpanFits(int32_t field, int64_t count, int64_t length) {
  return count <= 0 || field * kFieldBytes + XdbDataRows::kRowBytes * (count - 1) + kFieldBytes <= length;
}

}  // namespace

XdbDataRows::XdbDataRows(FskMachine* the) : the_(the), file_(the, kKindPath, kFileType) {}

XpResult XdbDataRows::Create(const std::string& path) { return file_.Create(path); }

XpResult XdbDataRows::Open(const std::string& path) {
  XpResult result = file_.Open(path);
  if (result == kXpOk && file_.BlockSize() != kRowBytes) {
    XpResult ignored = file_.Close();
    (void)ignored;
    return kXpErrInvalidFile;
  }
  return result;
}

XpResult XdbDataRows::Close() { return file_.Close(); }

XpResult XdbDataRows::SetField(int64_t id, int32_t field, uint32_t value) {
  return SetFields(id, field, std::span<const uint32_t>(&value, 1));
}

XpResult XdbDataRows::SetFields(int64_t id, int32_t first, const std::vector<uint32_t>& values) {
  return SetFields(id, first, std::span<const uint32_t>(values));
}

XpResult XdbDataRows::SetFields(int64_t id, int32_t first, std::span<const uint32_t> values) {
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  auto count = static_cast<int64_t>(values.size());
  if (id < 1 || !ValidField(first) || first + count > kFieldCount) {
    return kXpErrBadArgument;
  }
  if (id > file_.BlockCount()) {
    XpResult appended = file_.Append(id - file_.BlockCount());
    if (appended != kXpOk) {
      return appended;
    }
  }
  return file_.ChangeBlockBytes(id - 1, [&](uint8_t* row) {
    for (int64_t index = 0; index < count; ++index) {
      // Fields are little-endian words in every byte order of the database.
      XpStoreLittle32(row + (first + index) * kFieldBytes, values[static_cast<size_t>(index)]);
    }
  });
}

XpResult XdbDataRows::GetField(int64_t id, int32_t field, uint32_t* value) {
  std::vector<uint32_t> values(1, 0);
  XpResult result = GetFields(id, field, &values);
  *value = values[0];
  return result;
}

XpResult XdbDataRows::GetFields(int64_t id, int32_t first, std::vector<uint32_t>* values) {
  std::fill(values->begin(), values->end(), 0);
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  auto count = static_cast<int64_t>(values->size());
  if (id < 1 || id > file_.BlockCount() || !ValidField(first) || first + count > kFieldCount) {
    return kXpErrBadArgument;
  }
  return file_.WithBlock(id - 1, [&](const Value& row, int64_t) {
    for (int64_t index = 0; index < count; ++index) {
      (*values)[static_cast<size_t>(index)] =
          static_cast<uint32_t>(fsk::ToInteger(the_, fsk::Call(the_, row, "getUDWord", first + index)));
    }
  });
}

XpResult XdbDataRows::Find(const Search& search, const Value& target) {
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  if (!ValidField(search.field)) {
    return kXpErrBadArgument;
  }
  return file_.ForEachPage([&](const Value& page, int64_t first, int64_t rows) {
    int64_t length = fsk::ToInteger(the_, fsk::Get(the_, page, "length"));
    if (!SpanFits(search.field, rows, length)) {
      throw XdbBlockFile::Failure{kXpErrInvalidFile};
    }
    Value high = search.high ? Value::Integer(*search.high) : Value();
    fsk::CallMethod(the_, file_.Object(), "bubbleSearch",
                    {target, page, Value::Integer(search.field * kFieldBytes), Value::Integer(kRowBytes),
                     Value::Integer(rows), Value::Integer(first), Value::Integer(search.low), high, search.thisArg,
                     search.transform});
  });
}

XpResult XdbDataRows::FindIDs(const Search& search, std::vector<int64_t>* ids) {
  ids->clear();
  auto found = std::make_shared<std::vector<int64_t>>();
  Value target;
  XpResult result = file_.Run([&] {
    target = fsk::NewObject(the_);
    fsk::Set(the_, target, "addID",
             fsk::NewFunction(
                 the_,
                 [found](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                   found->push_back(fsk::ToInteger(the, arguments.at(0)));
                   return Value();
                 },
                 1));
  });
  if (result == kXpOk) {
    result = Find(search, target);
  }
  if (result == kXpOk) {
    *ids = std::move(*found);
  }
  return result;
}

XpResult XdbDataRows::CopySortingArray(const Search& search, void* destination, int64_t slots) {
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  if (!ValidField(search.field) || destination == nullptr || slots < file_.BlockCount() + 1) {
    return kXpErrBadArgument;
  }
  auto* slotsStart = static_cast<unsigned char*>(destination);
  return file_.ForEachPage([&](const Value& page, int64_t first, int64_t rows) {
    int64_t length = fsk::ToInteger(the_, fsk::Get(the_, page, "length"));
    if (!SpanFits(search.field, rows, length)) {
      throw XdbBlockFile::Failure{kXpErrInvalidFile};
    }
    fsk::CallMethod(the_, file_.Object(), "copySortingArray",
                    {Value::Integer(Address(slotsStart + first * kFieldBytes)), page,
                     Value::Integer(search.field * kFieldBytes), Value::Integer(kRowBytes), Value::Integer(rows),
                     search.thisArg, search.transform});
  });
}
