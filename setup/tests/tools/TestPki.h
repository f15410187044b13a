#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace setuptest {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, PkeyFree>;
using CertificateHandle = std::unique_ptr<X509, X509Free>;

// A certificate with its key.
struct Credential {
  KeyHandle key;
  CertificateHandle certificate;
};

// What a test certificate says.
struct CertificateRequest {
  std::string commonName;
  std::string organizationName;
  // Extended key usage: "codeSigning", "serverAuth" or "" for none.
  std::string extendedKeyUsage = "codeSigning";
  // Validity from now, in days; a negative notAfterDays has expired.
  int notBeforeDays = -1;
  int notAfterDays = 30;
};

// A self-signed certificate authority.
Credential MakeCertificateAuthority(const std::string& commonName);
// A leaf issued by issuer.
Credential MakeLeaf(const CertificateRequest& request, const Credential& issuer);

// PEM files of a credential; false when they cannot be written.
bool WriteCertificatePem(const Credential& credential, const std::string& path);
bool WriteKeyPem(const Credential& credential, const std::string& path);

// Writes the detached DER CMS signature of file to file + ".p7s".
bool SignDetached(const Credential& signer, const std::string& file);

}  // namespace setuptest
