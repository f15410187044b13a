#include "platform/volume/XpInitializeProcess.h"

#include <cfenv>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/testsupport/ForkedChild.h"

namespace {

// Exit codes of the child, one per check.
enum ChildFailure {
  kPassed = 0,
  kFirstCallFailed = 1,
  kLocaleNotSet,
  kSigpipeNotIgnored,
  kRoundingChanged,
  kSecondCallFailed,
  kSecondCallChangedLocale,
};

bool LocaleIs(const char* expected) {
  const char* locale = std::setlocale(LC_CTYPE, nullptr);
  return locale != nullptr && std::strcmp(locale, expected) == 0;
}

// Runs in a child so that the locale and signal changes stay there.
int InitializeInChild() {
  ::setenv("LC_ALL", "C.UTF-8", 1);
  std::fesetround(FE_UPWARD);
  if (XpInitializeProcess() != kXpOk) return kFirstCallFailed;
  if (!LocaleIs("C.UTF-8")) return kLocaleNotSet;
  struct sigaction action {};
  if (::sigaction(SIGPIPE, nullptr, &action) != 0 || action.sa_handler != SIG_IGN) {
    return kSigpipeNotIgnored;
  }
  if (std::fegetround() != FE_UPWARD) return kRoundingChanged;
  // Only the first call does anything.
  ::setenv("LC_ALL", "C", 1);
  if (XpInitializeProcess() != kXpOk) return kSecondCallFailed;
  if (!LocaleIs("C.UTF-8")) return kSecondCallChangedLocale;
  return kPassed;
}

TEST(XpInitializeProcess, SetsLocaleAndIgnoresSigpipeOnce) {
  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel&) { return InitializeInChild(); }));
  EXPECT_EQ(child.Wait(), kPassed);
}

}  // namespace
