#include "setup/signature/PackageSignature.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"
#include "setup/tests/tools/TestPackage.h"
#include "setup/tests/tools/TestPki.h"

namespace {

namespace fs = std::filesystem;
using setuptest::CertificateRequest;
using setuptest::Credential;

constexpr const char* kMakerName = "Kavo Corporation Europe";

CertificateRequest Leaf(const std::string& commonName) {
  CertificateRequest request;
  request.commonName = commonName;
  return request;
}

class PackageSignature : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    caPem_ = (Root() / "ca.pem").string();
    ASSERT_TRUE(setuptest::WriteCertificatePem(ca_, caPem_));
    SetEnv("KAVO_CA_BUNDLE", caPem_);
  }

  std::string Path(const std::string& name) const { return (Root() / name).string(); }

  // The test package signed by signer, as name.
  std::string Signed(const Credential& signer, const std::string& name) {
    const std::string path = Path(name);
    EXPECT_TRUE(setuptest::SignPackage(signer, Dir("work").string(), Unsigned(), path)) << name;
    return path;
  }

  std::string Unsigned() {
    const std::string path = Path("unsigned.msi");
    if (!fs::exists(path)) {
      EXPECT_TRUE(setuptest::BuildTestPackage(path));
    }
    return path;
  }

  bool ReferenceAccepts(const std::string& path) const {
    return setuptest::RunProgram({"osslsigncode", "verify", "-CAfile", caPem_, "-in", path}) == 0;
  }

  Credential ca_ = setuptest::MakeCertificateAuthority("Test Root");
  std::string caPem_;
};

TEST_F(PackageSignature, ChecksPackagesAgainstTrustUsageAndTheirOwnDigest) {
  const Credential otherCa = setuptest::MakeCertificateAuthority("Other Root");
  CertificateRequest noCommonName;
  noCommonName.organizationName = "Kavo Corporation";
  CertificateRequest expired = Leaf(kMakerName);
  expired.notBeforeDays = -30;
  expired.notAfterDays = -1;
  CertificateRequest serverOnly = Leaf(kMakerName);
  serverOnly.extendedKeyUsage = "serverAuth";
  const Credential a = setuptest::MakeLeaf(Leaf(kMakerName), ca_);

  struct Case {
    const char* label;
    std::function<std::string()> make;
    bool valid;
    bool maker;
    // osslsigncode's verdict is compared with valid.
    bool withReference;
  };
  const Case cases[] = {
      {"A", [&] { return Signed(a, "a.msi"); }, true, true, true},
      {"B", [&] { return Signed(setuptest::MakeLeaf(Leaf("Kavo Corp"), ca_), "b.msi"); }, true,
       false, true},
      {"C", [&] { return Signed(setuptest::MakeLeaf(noCommonName, ca_), "c.msi"); }, true, true,
       false},
      {"D", [&] { return Signed(setuptest::MakeLeaf(Leaf(kMakerName), otherCa), "d.msi"); }, false,
       true, true},
      {"E", [&] { return Signed(setuptest::MakeLeaf(expired, ca_), "e.msi"); }, false, true,
       false},
      {"F", [&] { return Signed(setuptest::MakeLeaf(serverOnly, ca_), "f.msi"); }, false, true,
       false},
      {"unsigned", [&] { return Unsigned(); }, false, false, true},
      // The extended signature's pre-hash is not checked, so it is refused.
      {"extended signature",
       [&] {
         const std::string path = Path("dse.msi");
         EXPECT_TRUE(setuptest::SignPackage(a, Dir("work").string(), Unsigned(), path,
                                            {"-add-msi-dse"}));
         return path;
       },
       false, true, false},
      {"changed stream",
       [&] {
         const std::string path = Signed(a, "changed.msi");
         EXPECT_TRUE(setuptest::TamperPackageTable(path));
         return path;
       },
       false, true, true},
      {"damaged signature",
       [&] {
         const std::string path = Signed(a, "damaged.msi");
         EXPECT_TRUE(setuptest::TamperPackageSignature(path));
         return path;
       },
       false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = c.make();
    EXPECT_EQ(IsPackageSignatureValid(XpString::FromUtf8(path)), c.valid);
    EXPECT_EQ(IsMakerSigned(XpString::FromUtf8(path)), c.maker);
    EXPECT_EQ(IsPackageAccepted(XpString::FromUtf8(path)), c.valid && c.maker);
    if (c.withReference) {
      EXPECT_EQ(ReferenceAccepts(path), c.valid);
    }
  }
}

TEST_F(PackageSignature, NamesTheSigner) {
  CertificateRequest noCommonName;
  noCommonName.organizationName = "Kavo Corporation";
  const std::string path = Signed(setuptest::MakeLeaf(noCommonName, ca_), "c.msi");
  std::string name;
  ASSERT_TRUE(SignerDisplayName(XpString::FromUtf8(path), &name));
  EXPECT_EQ(name, "Kavo Corporation");
  EXPECT_FALSE(SignerDisplayName(XpString::FromUtf8(Unsigned()), &name));
}

TEST_F(PackageSignature, ChecksOtherFilesByTheirDetachedSignature) {
  const Credential a = setuptest::MakeLeaf(Leaf(kMakerName), ca_);
  const std::string script = Path("x");
  struct Case {
    const char* label;
    std::function<void()> make;
    bool valid;
    bool maker;
  };
  const Case cases[] = {
      {"signed",
       [&] {
         ASSERT_TRUE(setuptest::WriteBytes(script, "#!/bin/sh\necho configured\n"));
         ASSERT_TRUE(setuptest::SignDetached(a, script));
       },
       true, true},
      {"changed after signing",
       [&] { ASSERT_TRUE(setuptest::WriteBytes(script, "#!/bin/sh\necho changed\n")); }, false,
       true},
      {"no signature", [&] { fs::remove(script + ".p7s"); }, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    c.make();
    EXPECT_EQ(IsPackageSignatureValid(XpString::FromUtf8(script)), c.valid);
    EXPECT_EQ(IsMakerSigned(XpString::FromUtf8(script)), c.maker);
  }
}

TEST_F(PackageSignature, TrustsOnlyTheNamedBundle) {
  const std::string path = Signed(setuptest::MakeLeaf(Leaf(kMakerName), ca_), "a.msi");
  const Credential otherCa = setuptest::MakeCertificateAuthority("Other Root");
  ASSERT_TRUE(setuptest::WriteCertificatePem(otherCa, Path("other.pem")));
  SetEnv("KAVO_CA_BUNDLE", Path("other.pem"));
  EXPECT_FALSE(IsPackageSignatureValid(XpString::FromUtf8(path)));
  SetEnv("KAVO_CA_BUNDLE", Path("missing.pem"));
  EXPECT_FALSE(IsPackageSignatureValid(XpString::FromUtf8(path)));
  EXPECT_TRUE(IsMakerSigned(XpString::FromUtf8(path)));
}

}  // namespace
