#include "setup/tests/tools/TestPki.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>

namespace setuptest {

namespace {

constexpr int kKeyBits = 2048;
constexpr long kSecondsPerDay = 24 * 60 * 60;

std::atomic<long> gSerial{1000};

struct BioFree {
  void operator()(BIO* bio) const { BIO_free_all(bio); }
};
struct CmsFree {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};

KeyHandle NewKey() { return KeyHandle(EVP_RSA_gen(kKeyBits)); }

void AddNameEntry(X509_NAME* name, const char* field, const std::string& value) {
  if (value.empty()) return;
  X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return;
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

CertificateHandle NewCertificate(EVP_PKEY* key, const CertificateRequest& request) {
  CertificateHandle certificate(X509_new());
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), gSerial++);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), request.notBeforeDays * kSecondsPerDay);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), request.notAfterDays * kSecondsPerDay);
  X509_set_pubkey(certificate.get(), key);
  X509_NAME* subject = X509_get_subject_name(certificate.get());
  AddNameEntry(subject, "O", request.organizationName);
  AddNameEntry(subject, "CN", request.commonName);
  return certificate;
}

}  // namespace

Credential MakeCertificateAuthority(const std::string& commonName) {
  Credential ca;
  ca.key = NewKey();
  CertificateRequest request;
  request.commonName = commonName;
  request.notAfterDays = 365;
  ca.certificate = NewCertificate(ca.key.get(), request);
  X509* self = ca.certificate.get();
  X509_set_issuer_name(self, X509_get_subject_name(self));
  AddExtension(self, self, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(self, self, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature");
  AddExtension(self, self, NID_subject_key_identifier, "hash");
  X509_sign(self, ca.key.get(), EVP_sha256());
  return ca;
}

Credential MakeLeaf(const CertificateRequest& request, const Credential& issuer) {
  Credential leaf;
  leaf.key = NewKey();
  leaf.certificate = NewCertificate(leaf.key.get(), request);
  X509* certificate = leaf.certificate.get();
  X509_set_issuer_name(certificate, X509_get_subject_name(issuer.certificate.get()));
  AddExtension(certificate, issuer.certificate.get(), NID_basic_constraints, "CA:FALSE");
  AddExtension(certificate, issuer.certificate.get(), NID_key_usage, "critical,digitalSignature");
  AddExtension(certificate, issuer.certificate.get(), NID_authority_key_identifier, "keyid");
  if (!request.extendedKeyUsage.empty()) {
    AddExtension(certificate, issuer.certificate.get(), NID_ext_key_usage,
                 request.extendedKeyUsage.c_str());
  }
  X509_sign(certificate, issuer.key.get(), EVP_sha256());
  return leaf;
}

bool WriteCertificatePem(const Credential& credential, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = PEM_write_X509(file, credential.certificate.get()) == 1;
  return std::fclose(file) == 0 && written;
}

bool WriteKeyPem(const Credential& credential, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written =
      PEM_write_PrivateKey(file, credential.key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  return std::fclose(file) == 0 && written;
}

bool SignDetached(const Credential& signer, const std::string& file) {
  std::unique_ptr<BIO, BioFree> content(BIO_new_file(file.c_str(), "rb"));
  if (!content) return false;
  std::unique_ptr<CMS_ContentInfo, CmsFree> cms(
      CMS_sign(signer.certificate.get(), signer.key.get(), nullptr, content.get(),
               CMS_DETACHED | CMS_BINARY));
  if (!cms) return false;
  std::unique_ptr<BIO, BioFree> out(BIO_new_file((file + ".p7s").c_str(), "wb"));
  return out && i2d_CMS_bio(out.get(), cms.get()) == 1;
}

}  // namespace setuptest
