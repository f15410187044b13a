#include "installer-actions/common/InstallerLogClock.h"

namespace {

class SystemLogClock : public InstallerLogClock {
 public:
  std::tm LocalNow() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) return std::tm{};
    return local;
  }
};

}  // namespace

InstallerLogClock& InstallerLogClock::Real() {
  static SystemLogClock* const clock = new SystemLogClock();
  return *clock;
}
