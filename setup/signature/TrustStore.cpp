#include "setup/signature/TrustStore.h"

#include <openssl/x509v3.h>

#include <cstdlib>

namespace {

constexpr const char* kBundleVariable = "KAVO_CA_BUNDLE";

}  // namespace

TrustStore LoadTrustStore() {
  TrustStore store(X509_STORE_new());
  if (!store) return nullptr;
  const char* bundle = std::getenv(kBundleVariable);
  const bool loaded = bundle != nullptr && *bundle != '\0'
                          ? X509_STORE_load_file(store.get(), bundle) == 1
                          : X509_STORE_set_default_paths(store.get()) == 1;
  if (!loaded) return nullptr;
  if (X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY) != 1) return nullptr;
  return store;
}

bool AllowsCodeSigning(X509* leaf) {
  if (leaf == nullptr) return false;
  if ((X509_get_extension_flags(leaf) & EXFLAG_XKUSAGE) == 0) return true;
  return (X509_get_extended_key_usage(leaf) & XKU_CODE_SIGN) != 0;
}
