#include "setup/signature/PackageSignature.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <string_view>

#include "setup/package/ReadFileBytes.h"
#include "setup/signature/MsiStreamReader.h"
#include "setup/signature/TrustStore.h"

namespace {

constexpr const char* kMakerPrefix = "Kavo Corporation";
constexpr const char* kIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";
constexpr const char16_t* kDetachedSuffix = u".p7s";

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
using Pkcs7Handle = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using CmsHandle = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using BioHandle = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using DigestInfoHandle = std::unique_ptr<X509_SIG, Deleter<X509_SIG, X509_SIG_free>>;

void FreeCertificates(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }
using CertificatesHandle =
    std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), FreeCertificates>>;

// An embedded package signature, or a detached one beside another file.
struct Signature {
  Pkcs7Handle pkcs7;
  CmsHandle cms;
  std::string content;
};

Pkcs7Handle ParsePkcs7(const std::string& der) {
  const auto* data = reinterpret_cast<const unsigned char*>(der.data());
  return Pkcs7Handle(d2i_PKCS7(nullptr, &data, static_cast<long>(der.size())));
}

CmsHandle ParseCms(const std::string& der) {
  BioHandle bio(BIO_new_mem_buf(der.data(), static_cast<int>(der.size())));
  if (!bio) return nullptr;
  return CmsHandle(d2i_CMS_bio(bio.get(), nullptr));
}

// The SpcIndirectDataContent of a signed package, whole.
const ASN1_STRING* IndirectData(PKCS7* pkcs7) {
  if (pkcs7 == nullptr || !PKCS7_type_is_signed(pkcs7) || pkcs7->d.sign == nullptr) return nullptr;
  PKCS7* contents = pkcs7->d.sign->contents;
  if (contents == nullptr || contents->type == nullptr) return nullptr;
  char oid[64] = {};
  OBJ_obj2txt(oid, sizeof oid, contents->type, 1);
  if (std::string(oid) != kIndirectDataOid) return nullptr;
  const ASN1_TYPE* other = contents->d.other;
  if (other == nullptr || other->type != V_ASN1_SEQUENCE) return nullptr;
  return other->value.sequence;
}

// The value of an encoding without its outer tag and length.
bool InnerValue(const ASN1_STRING* encoding, const unsigned char** value, long* length) {
  const unsigned char* data = encoding->data;
  int tag = 0;
  int tagClass = 0;
  if (ASN1_get_object(&data, length, &tag, &tagClass, encoding->length) & 0x80) return false;
  if (tag != V_ASN1_SEQUENCE) return false;
  *value = data;
  return data + *length <= encoding->data + encoding->length;
}

// The DigestInfo that follows the data element of an indirect-data value.
DigestInfoHandle SignedDigest(const unsigned char* value, long length) {
  const unsigned char* cursor = value;
  long elementLength = 0;
  int tag = 0;
  int tagClass = 0;
  if (ASN1_get_object(&cursor, &elementLength, &tag, &tagClass, length) & 0x80) return nullptr;
  cursor += elementLength;
  const long left = static_cast<long>(value + length - cursor);
  if (left <= 0) return nullptr;
  return DigestInfoHandle(d2i_X509_SIG(nullptr, &cursor, left));
}

bool IsCompoundFile(const XpString& path) {
  MsiStreamReader reader;
  return reader.Open(path);
}

bool ReadPackageSignature(const MsiStreamReader& reader, Signature* signature) {
  std::string der;
  if (!reader.ReadStream(MsiStreamReader::kSignatureStream, &der)) return false;
  signature->pkcs7 = ParsePkcs7(der);
  return IndirectData(signature->pkcs7.get()) != nullptr;
}

bool ReadDetachedSignature(const XpString& path, Signature* signature) {
  std::string der;
  if (!ReadFileBytes(path + kDetachedSuffix, &der)) return false;
  signature->cms = ParseCms(der);
  if (!signature->cms) return false;
  return ReadFileBytes(path, &signature->content);
}

// The signature of either kind; false when there is none to read.
bool ReadSignature(const XpString& path, Signature* signature) {
  MsiStreamReader reader;
  if (reader.Open(path)) return ReadPackageSignature(reader, signature);
  return ReadDetachedSignature(path, signature);
}

X509* FirstSignerOf(PKCS7* pkcs7) {
  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(pkcs7);
  if (signers == nullptr || sk_PKCS7_SIGNER_INFO_num(signers) == 0) return nullptr;
  PKCS7_SIGNER_INFO* first = sk_PKCS7_SIGNER_INFO_value(signers, 0);
  if (first->issuer_and_serial == nullptr || pkcs7->d.sign->cert == nullptr) return nullptr;
  return X509_find_by_issuer_and_serial(pkcs7->d.sign->cert, first->issuer_and_serial->issuer,
                                        first->issuer_and_serial->serial);
}

// The first signer's certificate, owned by the caller.
X509* FirstSignerOf(CMS_ContentInfo* cms) {
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
  if (signers == nullptr || sk_CMS_SignerInfo_num(signers) == 0) return nullptr;
  CMS_SignerInfo* first = sk_CMS_SignerInfo_value(signers, 0);
  const CertificatesHandle certificates(CMS_get1_certs(cms));
  if (!certificates) return nullptr;
  for (int i = 0; i < sk_X509_num(certificates.get()); ++i) {
    X509* certificate = sk_X509_value(certificates.get(), i);
    if (CMS_SignerInfo_cert_cmp(first, certificate) == 0) {
      X509_up_ref(certificate);
      return certificate;
    }
  }
  return nullptr;
}

using CertificateHandle = std::unique_ptr<X509, Deleter<X509, X509_free>>;

CertificateHandle FirstSigner(const Signature& signature) {
  if (signature.pkcs7) {
    X509* found = FirstSignerOf(signature.pkcs7.get());
    if (found != nullptr) X509_up_ref(found);
    return CertificateHandle(found);
  }
  if (signature.cms) return CertificateHandle(FirstSignerOf(signature.cms.get()));
  return nullptr;
}

std::string FirstEntry(X509_NAME* name, int nid) {
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return std::string();
  ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, value);
  if (length < 0) return std::string();
  std::string text(reinterpret_cast<const char*>(utf8), static_cast<size_t>(length));
  OPENSSL_free(utf8);
  return text;
}

std::string SimpleDisplayName(X509* certificate) {
  X509_NAME* subject = X509_get_subject_name(certificate);
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName,
                  NID_pkcs9_emailAddress}) {
    std::string text = FirstEntry(subject, nid);
    if (!text.empty()) return text;
  }
  return std::string();
}

// The signed digest of the package must be its own.
bool PackageDigestMatches(const MsiStreamReader& reader, const ASN1_STRING* indirectData) {
  const unsigned char* value = nullptr;
  long length = 0;
  if (!InnerValue(indirectData, &value, &length)) return false;
  const DigestInfoHandle digestInfo = SignedDigest(value, length);
  if (!digestInfo) return false;
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* signedDigest = nullptr;
  X509_SIG_get0(digestInfo.get(), &algorithm, &signedDigest);
  const ASN1_OBJECT* oid = nullptr;
  X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
  const int nid = OBJ_obj2nid(oid);
  if (nid != NID_sha1 && nid != NID_sha256) return false;
  std::string own;
  if (!reader.Digest(EVP_get_digestbynid(nid), &own)) return false;
  const std::string_view signedBytes(
      reinterpret_cast<const char*>(ASN1_STRING_get0_data(signedDigest)),
      static_cast<size_t>(ASN1_STRING_length(signedDigest)));
  return own == signedBytes;
}

// The signer's signature, the message digest over the indirect data and the
// chain; the authenticated attributes' digest covers the value without its
// outer tag and length.
bool PackageSignatureVerifies(PKCS7* pkcs7, const ASN1_STRING* indirectData, X509_STORE* store) {
  const unsigned char* value = nullptr;
  long length = 0;
  if (!InnerValue(indirectData, &value, &length)) return false;
  BioHandle content(BIO_new_mem_buf(value, static_cast<int>(length)));
  if (!content) return false;
  return PKCS7_verify(pkcs7, nullptr, store, content.get(), nullptr, 0) == 1;
}

bool IsValidPackage(const XpString& path, X509_STORE* store) {
  MsiStreamReader reader;
  if (!reader.Open(path)) return false;
  if (reader.HasStream(MsiStreamReader::kSignatureExStream)) return false;
  Signature signature;
  if (!ReadPackageSignature(reader, &signature)) return false;
  const ASN1_STRING* indirectData = IndirectData(signature.pkcs7.get());
  if (!PackageSignatureVerifies(signature.pkcs7.get(), indirectData, store)) return false;
  if (!AllowsCodeSigning(FirstSignerOf(signature.pkcs7.get()))) return false;
  return PackageDigestMatches(reader, indirectData);
}

bool IsValidDetached(const XpString& path, X509_STORE* store) {
  Signature signature;
  if (!ReadDetachedSignature(path, &signature)) return false;
  BioHandle content(BIO_new_mem_buf(signature.content.data(),
                                    static_cast<int>(signature.content.size())));
  if (!content) return false;
  if (CMS_verify(signature.cms.get(), nullptr, store, content.get(), nullptr, CMS_BINARY) != 1) {
    return false;
  }
  const CertificateHandle signer = FirstSigner(signature);
  return AllowsCodeSigning(signer.get());
}

}  // namespace

bool IsPackageSignatureValid(const XpString& path) {
  const TrustStore store = LoadTrustStore();
  if (!store) return false;
  return IsCompoundFile(path) ? IsValidPackage(path, store.get())
                              : IsValidDetached(path, store.get());
}

bool SignerDisplayName(const XpString& path, std::string* name) {
  Signature signature;
  if (!ReadSignature(path, &signature)) return false;
  const CertificateHandle signer = FirstSigner(signature);
  if (!signer) return false;
  *name = SimpleDisplayName(signer.get());
  return true;
}

bool IsMakerSigned(const XpString& path) {
  std::string name;
  return SignerDisplayName(path, &name) && name.starts_with(kMakerPrefix);
}

bool IsPackageAccepted(const XpString& path) {
  return IsPackageSignatureValid(path) && IsMakerSigned(path);
}
