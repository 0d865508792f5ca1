// What an Authenticode signature (a PKCS#7 SignedData blob from a PE file's certificate table)
// says, as the system's cryptography library parses it: libcrypto elsewhere, CryptoAPI on
// Windows. The core computes and compares the file's digest itself.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

struct TAuthenticodeInfo {
  std::string DigestOid;              // SpcIndirectDataContent's digest algorithm, dotted
  std::vector<uint8_t> Digest;        // the digest it holds
  std::string Signer, Issuer;         // common names of the signer's certificate
  std::vector<uint8_t> Serial;        // its serial number, big-endian, no leading zero bytes
  bool HasSigningTime = false;
  int64_t SigningTime = 0;            // seconds since 1970 (UTC), from a countersignature or an RFC 3161 token
  size_t CertificateCount = 0;
};

// Parses der as a signed PKCS#7 message holding SpcIndirectDataContent; false with error set
// when the library refuses it.
bool ParseAuthenticode(TByteView der, TAuthenticodeInfo& info, std::string& error);

// The system's verdict on the signature of the file ("trusted", "untrusted root", ...), or
// "not verified on this system" where there is none to ask.
std::string VerifyAuthenticodeTrust(const std::string& fileName);

}  // namespace bq
