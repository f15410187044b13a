#include "outside/fsk/dbmanager/XdbBlockFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "fsk/FskException.h"
#include "fsk/FskMemory.h"
#include "platform/result/XpResultTranslation.h"

namespace {

using fsk::Value;

constexpr char kAtomFilePath[] = "xdb.atomFile";
constexpr char kLinePath[] = "CatalogGrammarExt.cache.line";
constexpr char kBlockPath[] = "CatalogGrammarExt.block";
constexpr int64_t kIllegalDB = 1001;
constexpr int64_t kIdLimit = 1006;
constexpr int64_t kWordBytes = 4;
constexpr int64_t kBitsPerByte = 8;

void DisposeLineMemory(void* memory) { FskMemPtrDispose(memory); }

int64_t Address(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer)); }

// A function that sets *flag.
Value Marker(FskMachine* the, const std::shared_ptr<bool>& flag) {
  return fsk::NewFunction(
      the,
      [flag](FskMachine*, const Value&, const std::vector<Value>&) {
        *flag = true;
        return Value();
      },
      0);
}

[[nodiscard]] XpResult ResultOf(FskMachine* the, const FskException& error) {
  Value thrown(error.Value());
  if (!thrown.IsObject()) {
    return kXpErrGeneric;
  }
  Value code = fsk::Get(the, thrown, "code");
  if (code.Type() != kFskIntegerType) {
    return kXpErrGeneric;
  }
  return XdbBlockFile::ResultOfCode(fsk::ToInteger(the, code));
}

const char* RangeMethod(XdbBlockFile::Range range) {
  switch (range) {
    case XdbBlockFile::Range::kCopy:
      return "copyTo";
    case XdbBlockFile::Range::kCopyBits:
      return "copyBitsTo";
    case XdbBlockFile::Range::kAnd:
      return "andTo";
    case XdbBlockFile::Range::kAndBits:
      return "andBitsTo";
    case XdbBlockFile::Range::kOr:
      return "orTo";
    case XdbBlockFile::Range::kOrBits:
      return "orBitsTo";
  }
  return "copyTo";
}

bool CountsBits(XdbBlockFile::Range range) {
  return range == XdbBlockFile::Range::kCopyBits || range == XdbBlockFile::Range::kAndBits ||
         range == XdbBlockFile::Range::kOrBits;
}

// The and/or operations read their source from a word boundary.
bool AlignsSource(XdbBlockFile::Range range) {
  return range != XdbBlockFile::Range::kCopy && range != XdbBlockFile::Range::kCopyBits;
}

}  // namespace

XdbBlockFile::XdbBlockFile(FskMachine* the, std::string kind, int32_t type)
    : the_(the), kind_(std::move(kind)), type_(type) {}

XdbBlockFile::~XdbBlockFile() {
  if (!open_) {
    return;
  }
  // A failed close has nowhere to go from here.
  XpResult ignored = Close();
  (void)ignored;
}

XpResult XdbBlockFile::ResultOfCode(int64_t code) {
  if (code == kIllegalDB) {
    return kXpErrInvalidFile;
  }
  if (code == kIdLimit) {
    return kXpErrDiskFull;
  }
  if (code == EINVAL) {
    return kXpErrBadArgument;
  }
  return XpResultFromErrno(static_cast<int>(code));
}

void XdbBlockFile::Fail(XpResult result) { throw Failure{result}; }

XpResult XdbBlockFile::Run(XdbCallable<void()> work) {
  fsk::HostBracket bracket(the_);
  XpResult result = kXpOk;
  try {
    work();
  } catch (const Failure& failure) {
    result = failure.result;
  } catch (const FskException& error) {
    result = ResultOf(the_, error);
  }
  try {
    WriteDirtyLines();
  } catch (const Failure& failure) {
    result = result == kXpOk ? failure.result : result;
  } catch (const FskException& error) {
    result = result == kXpOk ? ResultOf(the_, error) : result;
  }
  return result;
}

void XdbBlockFile::RequireOpen() const {
  if (!open_) {
    Fail(kXpErrNotOpen);
  }
}

void XdbBlockFile::MakeObjects() {
  object_ = fsk::NewInstanceOf(the_, fsk::GetPath(the_, kind_));
  file_ = fsk::NewInstanceOf(the_, fsk::GetPath(the_, kAtomFilePath));
  fsk::Set(the_, file_, "refnum", Value::Integer(-1));
  fxNewHostObject(the_, DisposeLineMemory);
  FskSlot prototype;
  fxPop(the_, &prototype);
  linePrototype_ = Value(prototype);
  Value methods = fsk::GetPath(the_, kLinePath);
  for (const char* method : {"read", "_write", "pointer"}) {
    fsk::Set(the_, linePrototype_, method, fsk::Get(the_, methods, method));
  }
  headerSize_ = fsk::ToInteger(the_, fsk::Call(the_, object_, "getHeaderSize"));
  blockSize_ = fsk::ToInteger(the_, fsk::Get(the_, object_, "blockSize"));
  blocksPerPage_ = fsk::ToInteger(the_, fsk::Get(the_, object_, "blocksPerPage"));
  if (headerSize_ <= 0 || blockSize_ <= 0 || blocksPerPage_ <= 0) {
    Fail(kXpErrBadArgument);
  }
}

XdbBlockFile::Line XdbBlockFile::NewLine(int64_t offset, int64_t length) {
  fxPushSlot(the_, &linePrototype_.Slot());
  fxNewInstanceOf(the_);
  FskSlot slot;
  fxPop(the_, &slot);
  Line line{Value(slot), std::make_shared<bool>(false), offset + length};
  void* memory = FskMemPtrAllocClear(static_cast<size_t>(length));
  if (memory == nullptr) {
    Fail(kXpErrOutOfMemory);
  }
  fxSetHostData(the_, &line.object.Slot(), memory);
  fsk::Set(the_, line.object, "file", file_);
  fsk::Set(the_, line.object, "offset", Value::Integer(offset));
  fsk::Set(the_, line.object, "length", Value::Integer(length));
  fsk::Set(the_, line.object, "change", Marker(the_, line.dirty));
  return line;
}

XdbBlockFile::Line& XdbBlockFile::PageLine(int64_t page) {
  auto found = pages_.find(page);
  if (found != pages_.end()) {
    return found->second;
  }
  int64_t start = PageOffset(page);
  Line line = NewLine(start, PageBytes());
  if (start + PageBytes() <= fileSize_) {
    CallLine(line, "read");
  } else if (start < fileSize_) {
    Fail(kXpErrInvalidFile);
  } else {
    // A page past the end of the file: written whole when first written.
    *line.dirty = true;
  }
  return pages_.emplace(page, std::move(line)).first->second;
}

Value XdbBlockFile::BlockObject(int64_t number) {
  auto known = blocks_.find(number);
  if (known != blocks_.end()) {
    return known->second;
  }
  Line& line = PageLine(number / blocksPerPage_);
  const auto* memory = static_cast<const unsigned char*>(fxGetHostData(the_, &line.object.Slot()));
  Value block = fsk::NewInstanceOf(the_, fsk::GetPath(the_, kBlockPath));
  fsk::Set(the_, block, "pointer", Value::Integer(Address(memory + number % blocksPerPage_ * blockSize_)));
  fsk::Set(the_, block, "length", Value::Integer(blockSize_));
  fsk::Set(the_, block, "index", Value::Integer(number));
  fsk::Set(the_, block, "change", Marker(the_, line.dirty));
  blocks_.emplace(number, block);
  return block;
}

void XdbBlockFile::CallLine(const Line& line, const char* method) { fsk::Call(the_, line.object, method); }

void XdbBlockFile::ReadHeader() {
  fileSize_ = fsk::ToInteger(the_, fsk::Call(the_, file_, "getSize"));
  if (fileSize_ < headerSize_) {
    Fail(kXpErrInvalidFile);
  }
  header_ = std::make_unique<Line>(NewLine(0, headerSize_));
  CallLine(*header_, "read");
  fsk::Call(the_, object_, "readHeader", header_->object);
  auto property = [&](const char* name) { return fsk::ToInteger(the_, fsk::Get(the_, object_, name)); };
  blockCount_ = property("blockCount");
  int64_t pages = (blockCount_ + blocksPerPage_ - 1) / blocksPerPage_;
  bool fits = property("type") == type_ && property("blockSize") == blockSize_ && property("offset") == headerSize_ &&
              blockCount_ >= 0 && PageOffset(pages) <= fileSize_;
  if (!fits) {
    Fail(kXpErrInvalidFile);
  }
}

void XdbBlockFile::WriteHeader() {
  fsk::Call(the_, object_, "writeHeader", header_->object, headerSize_);
}

void XdbBlockFile::WriteDirtyLines() {
  auto write = [&](Line& line) {
    if (!*line.dirty) {
      return;
    }
    CallLine(line, "_write");
    *line.dirty = false;
    fileSize_ = std::max(fileSize_, line.end);
  };
  for (auto& [page, line] : pages_) {
    write(line);
  }
  if (header_ != nullptr) {
    write(*header_);
  }
}

void XdbBlockFile::ReleaseFile() {
  blocks_.clear();
  pages_.clear();
  header_.reset();
  open_ = false;
  blockCount_ = 0;
  fileSize_ = 0;
}

XpResult XdbBlockFile::Create(const std::string& path) {
  if (open_) {
    return kXpErrAlreadyOpen;
  }
  XpResult result = Run([&] {
    MakeObjects();
    fsk::Call(the_, file_, "create", path);
    open_ = true;
    const std::pair<const char*, int64_t> properties[] = {{"dataSize", blockSize_}, {"type", type_},
                                                          {"offset", headerSize_},  {"blockCount", 0},
                                                          {"freeBlock", 0},         {"dirty", 0}};
    for (const auto& [name, value] : properties) {
      fsk::Set(the_, object_, name, Value::Integer(value));
    }
    header_ = std::make_unique<Line>(NewLine(0, headerSize_));
    WriteHeader();
  });
  if (result != kXpOk && open_) {
    XpResult ignored = Close();
    (void)ignored;
  }
  return result;
}

XpResult XdbBlockFile::Open(const std::string& path) {
  if (open_) {
    return kXpErrAlreadyOpen;
  }
  XpResult result = Run([&] {
    MakeObjects();
    fsk::Call(the_, file_, "open", path);
    open_ = true;
    ReadHeader();
  });
  if (result != kXpOk && open_) {
    // Nothing was changed: drop the lines unwritten.
    blocks_.clear();
    pages_.clear();
    header_.reset();
    XpResult ignored = Close();
    (void)ignored;
  }
  return result;
}

XpResult XdbBlockFile::Close() {
  if (!open_) {
    return kXpErrNotOpen;
  }
  XpResult result = Run([] {});
  XpResult closed = Run([&] { fsk::Call(the_, file_, "close"); });
  ReleaseFile();
  return result != kXpOk ? result : closed;
}

XpResult XdbBlockFile::Append(int64_t count) {
  return Run([&] {
    RequireOpen();
    if (count < 0) {
      Fail(kXpErrBadArgument);
    }
    int64_t total = blockCount_ + count;
    for (int64_t page = blockCount_ / blocksPerPage_; page * blocksPerPage_ < total; ++page) {
      PageLine(page);
    }
    blockCount_ = total;
    fsk::Set(the_, object_, "blockCount", Value::Integer(total));
    WriteHeader();
  });
}

XpResult XdbBlockFile::WithBlock(int64_t number, BlockWork work) {
  return Run([&] {
    RequireOpen();
    if (number < 0 || number >= blockCount_) {
      Fail(kXpErrBadArgument);
    }
    work(BlockObject(number), number);
  });
}

XpResult XdbBlockFile::ChangeBlockBytes(int64_t number, BytesWork work) {
  return Run([&] {
    RequireOpen();
    if (number < 0 || number >= blockCount_) {
      Fail(kXpErrBadArgument);
    }
    Line& line = PageLine(number / blocksPerPage_);
    auto* memory = static_cast<uint8_t*>(fxGetHostData(the_, &line.object.Slot()));
    uint8_t* block = memory + number % blocksPerPage_ * blockSize_;
    work(block);
    if (*line.dirty) {
      // The whole line goes out after the work.
      return;
    }
    // The file holds the rest of the line already: only the block is written.
    try {
      fsk::Call(the_, file_, "writeDataAt", Address(block), blockSize_, headerSize_ + number * blockSize_);
    } catch (...) {
      *line.dirty = true;
      throw;
    }
  });
}

XpResult XdbBlockFile::ForEachPage(PageWork work) {
  return Run([&] {
    RequireOpen();
    for (int64_t first = 0; first < blockCount_; first += blocksPerPage_) {
      Line& line = PageLine(first / blocksPerPage_);
      int64_t blocks = std::min(blocksPerPage_, blockCount_ - first);
      Value page = fsk::NewInstanceOf(the_, fsk::GetPath(the_, kBlockPath));
      fsk::Set(the_, page, "pointer", Value::Integer(Address(fxGetHostData(the_, &line.object.Slot()))));
      fsk::Set(the_, page, "length", Value::Integer(blocks * blockSize_));
      fsk::Set(the_, page, "change", Marker(the_, line.dirty));
      work(page, first, blocks);
    }
  });
}

XpResult XdbBlockFile::CombineRange(Range range, int64_t source, int64_t sourceOffset, int64_t destination,
                                    int64_t destinationOffset, int64_t count) {
  return Run([&] {
    RequireOpen();
    auto inFile = [&](int64_t number) { return number >= 0 && number < blockCount_; };
    auto inBlock = [&](int64_t offset, int64_t bytes) {
      return offset >= 0 && bytes >= 0 && offset <= blockSize_ && bytes <= blockSize_ - offset;
    };
    int64_t bytes = CountsBits(range) ? (count + kBitsPerByte - 1) / kBitsPerByte : count;
    int64_t sourceStart = AlignsSource(range) ? sourceOffset & ~(kWordBytes - 1) : sourceOffset;
    if (!inFile(source) || !inFile(destination) || count < 0 || !inBlock(sourceStart, bytes) ||
        !inBlock(destinationOffset, bytes)) {
      Fail(kXpErrBadArgument);
    }
    Value from = BlockObject(source);
    Value to = BlockObject(destination);
    int64_t target = fsk::ToInteger(the_, fsk::Get(the_, to, "pointer")) + destinationOffset;
    fsk::Call(the_, from, RangeMethod(range), target, sourceOffset, count);
    fsk::Call(the_, to, "change");
  });
}

XpResult XdbBlockFile::UpdateHeader(XdbCallable<void()> work) {
  return Run([&] {
    RequireOpen();
    work();
    WriteHeader();
  });
}
