#include "outside/fsk/k2xdb/K2xdbTool.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <system_error>

#include "fsk/FskException.h"
#include "fsk/FskMain.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbDbManager.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/process/XpToolArguments.h"

namespace {

namespace fs = std::filesystem;
using fsk::Value;

constexpr int kOpened = 350;
constexpr int kGuidIndexWidth = 64;
constexpr int kAlbumPreference = 3;
constexpr int kDefaultMisc = 1;
constexpr const char* kDefaultDate = "1970-01-01 00:00:00";
// A file that only a database of ours holds.
constexpr const char* kRecordFileName = "XDB.DAT";
constexpr int64_t kMillisecondsPerDay = 86400000;
constexpr int64_t kSecondsPerDay = 86400;

bool ParseInt32(const std::string& text, int32_t* value) {
  const char* end = text.data() + text.size();
  auto [last, error] = std::from_chars(text.data(), end, *value);
  return !text.empty() && error == std::errc() && last == end;
}

// Days from 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shifted = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  *month = shifted < 10 ? shifted + 3 : shifted - 9;
  *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t DaysInMonth(int64_t year, int64_t month) {
  return DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
         DaysFromCivil(year, month, 1);
}

std::string Hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(code));
  return text;
}

// One run of the runtime with folder open in a Master, as the glue does it;
// work's exit code, or kFailed when the runtime, open or a call fails.
// What work prints for its caller goes to out before the change is
// committed: a caller that cannot read the answer gets no change either.
class Session {
 public:
  using Work = std::function<int(FskMachine* the, const Value& master, std::ostream& answer)>;

  Session(std::ostream& out, std::ostream& err, std::string folder)
      : out_(out), err_(err), folder_(std::move(folder)) {}

  int Run(const Work& work) {
    if (FskMainInitialize(0, 0, nullptr) != 0) {
      err_ << "k2xdb: the runtime does not start\n";
      return K2xdbTool::kFailed;
    }
    int code = RunMachine(work);
    (void)FskMainTerminate();
    return code;
  }

 private:
  int RunMachine(const Work& work) {
    FskECMAScript vm = nullptr;
    FskErr error = FskECMAScriptFindByName(XdbDbManager::kMachineName, &vm);
    FskMachine* the = FskECMAScriptGetXSMachine(vm);
    if (error != 0 || the == nullptr) {
      err_ << "k2xdb: the dbManager machine: error " << Hex(static_cast<uint32_t>(error)) << "\n";
      return K2xdbTool::kFailed;
    }
    fsk::HostBracket bracket(the);
    try {
      return WithMaster(the, work);
    } catch (const FskException& thrown) {
      err_ << "k2xdb: " << folder_ << ": " << thrown.what() << XpSysFailureSuffix() << "\n";
      return K2xdbTool::kFailed;
    }
  }

  // Each step clears the failure record, so that a failure line names the
  // step's own cause.
  int WithMaster(FskMachine* the, const Work& work) {
    Value master = fsk::New(the, fsk::GetPath(the, "dbManager"), "Master");
    XpClearSysFailure();
    int64_t status = fsk::ToInteger(the, fsk::Call(the, master, "open", folder_, nullptr));
    if (status != kOpened) {
      err_ << "k2xdb: " << folder_ << ": open gave " << status << XpSysFailureSuffix() << "\n";
      return K2xdbTool::kFailed;
    }
    fsk::Call(the, master, "createIndex", "guid", kGuidIndexWidth, nullptr);
    XpClearSysFailure();
    std::ostringstream answer;
    int code = work(the, master, answer);
    if (!Deliver(answer.str())) {
      return K2xdbTool::kFailed;
    }
    fsk::Call(the, master, "deleteIndex", "guid");
    XpClearSysFailure();
    fsk::Call(the, master, "flush");
    XpClearSysFailure();
    if (fsk::ToInteger(the, fsk::Call(the, master, "close")) == XdbDbManager::kCompletionPending) {
      WarnPending(XdbDbManager::StoreOf(the, master));
    }
    return code;
  }

  bool Deliver(const std::string& text) {
    if (text.empty()) {
      return true;
    }
    errno = 0;
    out_ << text;
    out_.flush();
    if (out_) {
      return true;
    }
    if (errno != 0) {
      XpRecordSysFailure("write", "standard output", errno);
    }
    err_ << "k2xdb: " << folder_ << ": the answer cannot be written, so nothing is changed" << XpSysFailureSuffix()
         << "\n";
    return false;
  }

  // The change is durable; what finishing it met is named.
  void WarnPending(const XdbStore* store) {
    err_ << "k2xdb: " << folder_ << ": warning: the change is committed and will be completed at the next open";
    if (store != nullptr) {
      const XdbStore::Completion& completion = store->LastCompletion();
      err_ << "; completing it failed (" << Hex(completion.result) << ")";
      if (!completion.failure.Empty()) {
        err_ << ": " << XpDescribeSysFailure(completion.failure);
      }
    }
    err_ << "\n";
  }

  std::ostream& out_;
  std::ostream& err_;
  std::string folder_;
};

std::vector<int64_t> IdsOf(FskMachine* the, const Value& set) {
  std::vector<int64_t> ids;
  int64_t count = fsk::ToInteger(the, fsk::Call(the, set, "count"));
  for (int64_t position = 0; position < count; ++position) {
    ids.push_back(fsk::ToInteger(the, fsk::Call(the, set, "getID", position)));
  }
  return ids;
}

int64_t IntegerOf(FskMachine* the, const Value& object, const char* name) {
  return fsk::ToInteger(the, fsk::Get(the, object, name));
}

void ListAlbums(FskMachine* the, const Value& master, std::ostream& out) {
  for (int64_t id : IdsOf(the, fsk::Call(the, master, "search", "ad", nullptr))) {
    Value album = fsk::Call(the, master, "getRecord", id);
    out << "album " << id << " date=" << K2xdbTool::FormatDate(fsk::ToNumber(the, fsk::Get(the, album, "albumDate")))
        << " preference=" << IntegerOf(the, album, "preference")
        << " title=" << K2xdbTool::Quoted(fsk::ToString(the, fsk::Get(the, album, "title"))) << "\n";
  }
}

// One line for each content whose album does not exist.
std::vector<std::string> ContentsWithoutAlbum(FskMachine* the, const Value& master) {
  std::vector<std::string> faults;
  for (int64_t id : IdsOf(the, fsk::Call(the, master, "search", "d", nullptr))) {
    int64_t album = IntegerOf(the, fsk::Call(the, master, "getRecord", id), "albumID");
    if (fsk::Call(the, master, "getRecordA", album).IsUndefined()) {
      faults.push_back("content " + std::to_string(id) + " names album " + std::to_string(album) +
                       ", which does not exist");
    }
  }
  return faults;
}

// The number of contents that album holds.
int64_t ContentsOf(FskMachine* the, const Value& master, int64_t album) {
  return fsk::ToInteger(the, fsk::Call(the, fsk::Call(the, master, "search", "a", album), "count"));
}

// path against the working folder; as given when it cannot be.
std::string Absolute(const std::string& path) {
  std::error_code error;
  fs::path absolute = path.empty() ? fs::path() : fs::absolute(path, error);
  return error || absolute.empty() ? path : absolute.string();
}

void ListContents(FskMachine* the, const Value& master, std::ostream& out) {
  for (int64_t id : IdsOf(the, fsk::Call(the, master, "search", "d", nullptr))) {
    Value content = fsk::Call(the, master, "getRecord", id);
    char dcf[32];
    std::snprintf(dcf, sizeof dcf, "%03lld-%04lld", static_cast<long long>(IntegerOf(the, content, "folderID")),
                  static_cast<long long>(IntegerOf(the, content, "fileID")));
    out << "content " << id << " album=" << IntegerOf(the, content, "albumID")
        << " guid=" << IntegerOf(the, content, "guid") << " dcf=" << dcf
        << " date=" << K2xdbTool::FormatDate(fsk::ToNumber(the, fsk::Get(the, content, "date")))
        << " misc=" << IntegerOf(the, content, "misc") << " share=" << IntegerOf(the, content, "shareFlag")
        << " favorite=" << IntegerOf(the, content, "favoriteFlag") << "\n";
  }
}

}  // namespace

bool K2xdbTool::ParseDate(const std::string& text, double* time) {
  constexpr size_t kLength = 19;
  if (text.size() != kLength || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return false;
  }
  int32_t fields[6];
  const size_t starts[6] = {0, 5, 8, 11, 14, 17};
  const size_t lengths[6] = {4, 2, 2, 2, 2, 2};
  for (size_t i = 0; i < 6; ++i) {
    std::string part = text.substr(starts[i], lengths[i]);
    if (part.find_first_not_of("0123456789") != std::string::npos || !ParseInt32(part, &fields[i])) {
      return false;
    }
  }
  auto [year, month, day, hours, minutes, seconds] = fields;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hours > 23 || minutes > 59 ||
      seconds > 59) {
    return false;
  }
  int64_t days = DaysFromCivil(year, month, day);
  *time = static_cast<double>(days * kMillisecondsPerDay + (hours * 3600LL + minutes * 60LL + seconds) * 1000LL);
  return true;
}

std::string K2xdbTool::FormatDate(double time) {
  if (!std::isfinite(time) || std::fabs(time) > XdbStore::kLargestDate) {
    return "invalid";
  }
  int64_t seconds = static_cast<int64_t>(std::floor(time / 1000.0));
  int64_t days = seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
  int64_t ofDay = seconds - days * kSecondsPerDay;
  int64_t year = 0;
  int64_t month = 0;
  int64_t day = 0;
  CivilFromDays(days, &year, &month, &day);
  char text[160];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(ofDay / 3600),
                static_cast<long long>(ofDay / 60 % 60), static_cast<long long>(ofDay % 60));
  return text;
}

std::string K2xdbTool::Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + "\"";
}

XpToolArguments K2xdbTool::Arguments() {
  return XpToolArguments("k2xdb",
                         "usage: k2xdb init FOLDER\n"
                         "       k2xdb list FOLDER\n"
                         "       k2xdb add-album FOLDER TITLE [DATE]\n"
                         "       k2xdb add-content FOLDER ALBUM FOLDER-NO FILE-NO DATE [MISC]\n"
                         "       k2xdb set-group FOLDER ID sf|ff VALUE\n"
                         "       k2xdb delete FOLDER ID\n"
                         "       k2xdb check FOLDER\n"
                         "DATE is \"YYYY-MM-DD HH:MM:SS\" (UTC)\n");
}

int K2xdbTool::Usage(const std::string& what) {
  XpToolArguments arguments = Arguments();
  static_cast<void>(arguments.Refuse(what));
  return arguments.Answer(out_, err_);
}

int K2xdbTool::Run(const std::vector<std::string>& arguments) {
  XpToolArguments parsed = Arguments();
  if (parsed.Parse(arguments) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(out_, err_);
  }
  return RunCommand(parsed.Operands());
}

int K2xdbTool::RunCommand(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) {
    return Usage("missing operand");
  }
  const std::string& command = arguments[0];
  const std::string folder = Absolute(arguments[1]);
  size_t count = arguments.size();
  Session session(out_, err_, folder);

  if (command == "init" && count == 2) {
    std::error_code error;
    if (fs::exists(fs::path(folder) / kRecordFileName, error)) {
      err_ << "k2xdb: " << folder << ": holds an album database already\n";
      return kRefused;
    }
    if (!fs::is_directory(folder, error) && !fs::create_directory(folder, error)) {
      err_ << "k2xdb: " << folder << ": cannot create the folder: " << error.message() << "\n";
      return kFailed;
    }
    return session.Run([](FskMachine*, const Value&, std::ostream&) { return kDone; });
  }
  if (command == "list" && count == 2) {
    return session.Run([](FskMachine* the, const Value& master, std::ostream& answer) {
      ListAlbums(the, master, answer);
      ListContents(the, master, answer);
      return kDone;
    });
  }
  if (command == "check" && count == 2) {
    return session.Run([](FskMachine* the, const Value& master, std::ostream& answer) {
      XdbStore* store = XdbDbManager::StoreOf(the, master);
      std::vector<std::string> faults = store->Rebuilt();
      for (const std::vector<std::string>& found : {store->Check(), ContentsWithoutAlbum(the, master)}) {
        faults.insert(faults.end(), found.begin(), found.end());
      }
      for (const std::string& fault : faults) {
        answer << fault << "\n";
      }
      if (faults.empty()) {
        answer << "ok\n";
      }
      return faults.empty() ? kDone : kRefused;
    });
  }
  if (command == "add-album" && (count == 3 || count == 4)) {
    double date = 0;
    if (!ParseDate(count == 4 ? arguments[3] : kDefaultDate, &date)) {
      return Usage("bad operands for " + command);
    }
    const std::string& title = arguments[2];
    return session.Run([this, date, &title](FskMachine* the, const Value& master, std::ostream& answer) {
      Value album = fsk::New(the, fsk::GetPath(the, "dbManager"), "ContentAlbumInfo", date, title, kAlbumPreference);
      int64_t id = fsk::ToInteger(the, fsk::Call(the, master, "createAlbum", album));
      if (id < 0) {
        err_ << "k2xdb: no free ID\n";
        return kFailed;
      }
      answer << id << "\n";
      return kDone;
    });
  }
  if (command == "add-content" && (count == 6 || count == 7)) {
    int32_t album = 0;
    int32_t folderNumber = 0;
    int32_t fileNumber = 0;
    int32_t misc = kDefaultMisc;
    double date = 0;
    if (!ParseInt32(arguments[2], &album) || !ParseInt32(arguments[3], &folderNumber) ||
        !ParseInt32(arguments[4], &fileNumber) || !ParseDate(arguments[5], &date) ||
        (count == 7 && !ParseInt32(arguments[6], &misc))) {
      return Usage("bad operands for " + command);
    }
    return session.Run([&, this](FskMachine* the, const Value& master, std::ostream& answer) {
      Value content = fsk::New(the, fsk::GetPath(the, "dbManager"), "ContentMaster", date, folderNumber, fileNumber,
                               album, misc, 0);
      int64_t id = fsk::ToInteger(the, fsk::Call(the, master, "addPhoto", content));
      if (id < 0) {
        err_ << "k2xdb: no free ID or guid\n";
        return kFailed;
      }
      Value record = fsk::Call(the, master, "getRecord", id);
      answer << id << " " << IntegerOf(the, record, "guid") << "\n";
      return kDone;
    });
  }
  if (command == "set-group" && count == 5) {
    int32_t id = 0;
    int32_t value = 0;
    const std::string& group = arguments[3];
    if (!ParseInt32(arguments[2], &id) || (group != "sf" && group != "ff") || !ParseInt32(arguments[4], &value)) {
      return Usage("bad operands for " + command);
    }
    return session.Run([&](FskMachine* the, const Value& master, std::ostream&) {
      fsk::Call(the, master, "addPhotoToGroup", group, id, value);
      return kDone;
    });
  }
  if (command == "delete" && count == 3) {
    int32_t id = 0;
    if (!ParseInt32(arguments[2], &id)) {
      return Usage("bad operands for " + command);
    }
    return session.Run([this, id, &folder](FskMachine* the, const Value& master, std::ostream&) {
      bool album = !fsk::Call(the, master, "getRecordA", id).IsUndefined();
      // As the accessor does, only an empty album goes.
      int64_t held = album ? ContentsOf(the, master, id) : 0;
      if (held > 0) {
        err_ << "k2xdb: " << folder << ": album " << id << " holds " << held
             << (held == 1 ? " content" : " contents") << "; it is not deleted\n";
        return kRefused;
      }
      fsk::Call(the, master, album ? "deleteAlbum" : "deletePhoto", id);
      return kDone;
    });
  }
  return Usage("unknown command or wrong number of operands: " + command);
}
