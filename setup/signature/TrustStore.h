#pragma once

#include <openssl/x509_vfy.h>

#include <memory>

struct TrustStoreFree {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
using TrustStore = std::unique_ptr<X509_STORE, TrustStoreFree>;

// The certificate authorities that signatures must chain to: the PEM
// bundle named by KAVO_CA_BUNDLE, or OpenSSL's default store when it is
// unset. Any purpose passes the store; the caller checks the leaf's
// extended key usage. Null when the bundle cannot be loaded.
TrustStore LoadTrustStore();

// True when the leaf's extended key usage, when it has one, names code
// signing.
bool AllowsCodeSigning(X509* leaf);
