#pragma once

#include <string>

#include "platform/text/XpString.h"

// An installer package (an OLE compound file) carries an Authenticode
// signature in its "\x05DigitalSignature" stream; any other file is signed
// by a detached DER CMS signature in "<file>.p7s".

// True when the file's signature verifies, its chain reaches the trust
// store (TrustStore.h) at the current time and the leaf may sign code. For
// a package the signed digest must also equal the package's own digest; a
// package with an extended signature stream is refused.
bool IsPackageSignatureValid(const XpString& path);

// True when the signer's simple display name begins with "Kavo
// Corporation". No trust is needed.
bool IsMakerSigned(const XpString& path);

// Both tests: the one gate for a package and for the programs setup starts.
bool IsPackageAccepted(const XpString& path);

// The signer's simple display name (UTF-8): its first commonName, else
// organizationalUnitName, else organizationName, else emailAddress; false
// when the file carries no readable signature.
bool SignerDisplayName(const XpString& path, std::string* name);
