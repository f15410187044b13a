#include "outside/fsk/dbmanager/XdbComponent.h"

#include <cerrno>
#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "platform/result/XpResult.h"

namespace {

using fsk::Value;

// A component that counts its releases and lends out the bracket.
class Probe : public ::XdbComponent {
 public:
  explicit Probe(FskMachine* the) : ::XdbComponent(the, kXpErrInvalidFile) {}
  Probe(FskMachine* the, XdbHostCall::Translate translate)
      : ::XdbComponent(the, std::move(translate)) {}

  [[nodiscard]] XpResult Step(XdbCallable<void()> work) const { return Run(work); }
  [[nodiscard]] XpResult Start(XdbCallable<void()> work) { return Establish(work); }
  [[nodiscard]] XpResult Stop(const Value& file) { return CloseFile(file); }
  void StopQuietly(const Value& file) const { CloseQuietly(file); }
  [[nodiscard]] XpResult RequireOpenStep() const {
    return Run([this] { RequireOpen(); });
  }
  int Releases() const { return releases_; }

 private:
  void ReleaseObjects() override { ++releases_; }

  int releases_ = 0;
};

// Named as the class it tests; the class itself is ::XdbComponent here.
class XdbComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    the_ = fxNewMachine("component");
    ASSERT_NE(the_, nullptr);
  }
  void TearDown() override { fxDeleteMachine(the_); }

  // An object whose close counts its calls, and throws code when it is not
  // 0.
  Value File(int32_t code, int* closes) {
    fsk::HostBracket bracket(the_);
    Value file = fsk::NewObject(the_);
    fsk::Set(the_, file, "close",
             fsk::NewFunction(
                 the_,
                 [code, closes](FskMachine* the, const Value&, const std::vector<Value>&) {
                   ++*closes;
                   if (code != 0) {
                     fxError(the, code);
                   }
                   return Value();
                 },
                 0));
    return file;
  }

  FskMachine* the_ = nullptr;
};

TEST_F(XdbComponent, RunTurnsWhatEndsAStepIntoItsResult) {
  struct Case {
    const char* name;
    std::function<void(FskMachine*)> step;
    XpResult expected;
  };
  const Case cases[] = {
      {"a step that ends well", [](FskMachine*) {}, kXpOk},
      {"a result of the step's own", [](FskMachine*) { XdbHostCall::Fail(kXpErrDiskFull); },
       kXpErrDiskFull},
      {"EINVAL from the runtime", [](FskMachine* the) { fxError(the, EINVAL); }, kXpErrInvalidFile},
      {"another errno from the runtime", [](FskMachine* the) { fxError(the, ENOENT); },
       kXpErrFileNotFound},
      {"an error without a code",
       [](FskMachine* the) { fxThrowError(the, kFskTypeError, "no code"); }, kXpErrGeneric},
  };
  Probe probe(the_);
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(probe.Step([&] { test.step(the_); }), test.expected);
  }
  EXPECT_EQ(probe.RequireOpenStep(), kXpErrNotOpen);
  EXPECT_EQ(probe.Releases(), 0);
}

TEST_F(XdbComponent, ATranslationDecidesForRuntimeErrorsOnly) {
  Probe probe(the_, [](FskMachine*, const FskException&) { return kXpErrAlreadyExists; });
  EXPECT_EQ(probe.Step([&] { fxError(the_, EIO); }), kXpErrAlreadyExists);
  EXPECT_EQ(probe.Step([] { XdbHostCall::Fail(kXpErrDiskFull); }), kXpErrDiskFull);
}

TEST_F(XdbComponent, EstablishOpensOnceAndReleasesWhatFails) {
  Probe probe(the_);
  int runs = 0;
  EXPECT_EQ(probe.Start([&] {
    ++runs;
    fxError(the_, ENOSPC);
  }),
            kXpErrDiskFull);
  EXPECT_FALSE(probe.IsOpen());
  EXPECT_EQ(probe.Releases(), 1);

  EXPECT_EQ(probe.Start([&] { ++runs; }), kXpOk);
  EXPECT_TRUE(probe.IsOpen());
  EXPECT_EQ(probe.RequireOpenStep(), kXpOk);
  EXPECT_EQ(probe.Start([&] { ++runs; }), kXpErrAlreadyOpen);
  EXPECT_EQ(runs, 2);
  EXPECT_TRUE(probe.IsOpen());
  EXPECT_EQ(probe.Releases(), 1);
}

TEST_F(XdbComponent, CloseFileReleasesAlsoWhenTheCloseFails) {
  struct Case {
    const char* name;
    int32_t code;
    XpResult expected;
  };
  const Case cases[] = {
      {"a close that ends well", 0, kXpOk},
      {"a close that fails", EIO, kXpErrDeviceNotReady},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Probe probe(the_);
    int closes = 0;
    Value file = File(test.code, &closes);
    EXPECT_EQ(probe.Stop(file), kXpErrNotOpen);
    EXPECT_EQ(closes, 0);
    ASSERT_EQ(probe.Start([] {}), kXpOk);
    EXPECT_EQ(probe.Stop(file), test.expected);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(probe.IsOpen());
    EXPECT_EQ(probe.Releases(), 1);
  }
}

TEST_F(XdbComponent, CloseQuietlyDropsAFailedCloseAndPassesOverNonObjects) {
  Probe probe(the_);
  int closes = 0;
  probe.StopQuietly(File(EIO, &closes));
  EXPECT_EQ(closes, 1);
  probe.StopQuietly(Value());
  EXPECT_EQ(probe.Releases(), 0);
}

}  // namespace
