// Authenticode signatures through the system's CryptoAPI and WinVerifyTrust (Windows builds).
#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <string>

#include "platform/bqAuthenticode.h"
#include "platform/bqText.h"

namespace bq {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// A decoded structure in a buffer CryptDecodeObjectEx allocated.
struct TDecoded {
  void* Data = nullptr;
  ~TDecoded() {
    if (Data) LocalFree(Data);
  }
  bool Decode(LPCSTR type, const BYTE* bytes, DWORD size) {
    DWORD n = 0;
    return CryptDecodeObjectEx(kEncoding, type, bytes, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, &Data, &n) != FALSE;
  }
};

// A message parameter as bytes.
bool Param(HCRYPTMSG msg, DWORD type, DWORD index, std::string& out) {
  DWORD n = 0;
  if (!CryptMsgGetParam(msg, type, index, nullptr, &n)) return false;
  out.assign(n, '\0');
  return CryptMsgGetParam(msg, type, index, out.data(), &n) != FALSE && (out.resize(n), true);
}

std::string NameOf(PCCERT_CONTEXT cert, DWORD flags) {
  wchar_t name[512];
  const DWORD n = CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, flags, const_cast<char*>(szOID_COMMON_NAME), name, 512);
  if (n <= 1) return {};
  return Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(name), n - 1));
}

int64_t FileTimeSeconds(const FILETIME& ft) {
  const uint64_t ticks = uint64_t{ft.dwHighDateTime} << 32 | ft.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
}

// The genTime of an RFC 3161 token: a SignedData message whose content is TSTInfo ::= SEQUENCE
// { version, policy, messageImprint, serialNumber, genTime GeneralizedTime, ... }.
bool TokenTime(const CRYPT_ATTR_BLOB& token, int64_t& seconds) {
  HCRYPTMSG msg = CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr);
  if (!msg) return false;
  bool ok = false;
  std::string content;
  if (CryptMsgUpdate(msg, token.pbData, token.cbData, TRUE) && Param(msg, CMSG_CONTENT_PARAM, 0, content)) {
    // The content may come as the OCTET STRING that wraps TSTInfo.
    TDecoded fields, wrapped;
    const auto* bytes = reinterpret_cast<const BYTE*>(content.data());
    auto size = static_cast<DWORD>(content.size());
    if (size && bytes[0] == 0x04 && wrapped.Decode(X509_OCTET_STRING, bytes, size)) {
      const auto* blob = static_cast<const CRYPT_DATA_BLOB*>(wrapped.Data);
      bytes = blob->pbData;
      size = blob->cbData;
    }
    if (fields.Decode(X509_SEQUENCE_OF_ANY, bytes, size)) {
      const auto* sequence = static_cast<const CRYPT_SEQUENCE_OF_ANY*>(fields.Data);
      FILETIME ft;
      DWORD n = sizeof ft;
      if (sequence->cValue >= 5 &&
          CryptDecodeObject(kEncoding, X509_CHOICE_OF_TIME, sequence->rgValue[4].pbData, sequence->rgValue[4].cbData, 0, &ft, &n)) {
        seconds = FileTimeSeconds(ft);
        ok = true;
      }
    }
  }
  CryptMsgClose(msg);
  return ok;
}

// The signingTime of a countersignature, or the time of an RFC 3161 token, among the signer's
// unsigned attributes.
bool SigningTime(HCRYPTMSG msg, int64_t& seconds) {
  std::string attributes;
  if (!Param(msg, CMSG_SIGNER_UNAUTH_ATTR_PARAM, 0, attributes)) return false;
  const auto* list = reinterpret_cast<const CRYPT_ATTRIBUTES*>(attributes.data());
  for (DWORD i = 0; i < list->cAttr; ++i) {
    const CRYPT_ATTRIBUTE& a = list->rgAttr[i];
    if (std::string(a.pszObjId) == "1.3.6.1.4.1.311.3.3.1" && a.cValue && TokenTime(a.rgValue[0], seconds)) return true;
    if (std::string(a.pszObjId) != szOID_RSA_counterSign || a.cValue == 0) continue;
    TDecoded signer;
    if (!signer.Decode(PKCS7_SIGNER_INFO, a.rgValue[0].pbData, a.rgValue[0].cbData)) continue;
    const auto* si = static_cast<const CMSG_SIGNER_INFO*>(signer.Data);
    for (DWORD k = 0; k < si->AuthAttrs.cAttr; ++k) {
      const CRYPT_ATTRIBUTE& t = si->AuthAttrs.rgAttr[k];
      if (std::string(t.pszObjId) != szOID_RSA_signingTime || t.cValue == 0) continue;
      FILETIME ft;
      DWORD n = sizeof ft;
      if (CryptDecodeObject(kEncoding, szOID_RSA_signingTime, t.rgValue[0].pbData, t.rgValue[0].cbData, 0, &ft, &n)) {
        seconds = FileTimeSeconds(ft);
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool ParseAuthenticode(TByteView der, TAuthenticodeInfo& info, std::string& error) {
  info = {};
  HCRYPTMSG msg = CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr);
  if (!msg || !CryptMsgUpdate(msg, der.Data(), static_cast<DWORD>(der.Size()), TRUE)) {
    if (msg) CryptMsgClose(msg);
    error = "the signature is not a PKCS#7 SignedData message";
    return false;
  }
  bool ok = false;
  std::string type, content, signer;
  if (!Param(msg, CMSG_INNER_CONTENT_TYPE_PARAM, 0, type) || std::string(type.c_str()) != SPC_INDIRECT_DATA_OBJID ||
      !Param(msg, CMSG_CONTENT_PARAM, 0, content)) {
    error = "the signed content is not SpcIndirectDataContent";
  } else {
    TDecoded indirect;
    // wintrust registers the decoder under the content type's OID and under its struct id.
    const auto* bytes = reinterpret_cast<const BYTE*>(content.data());
    const auto size = static_cast<DWORD>(content.size());
    if (!indirect.Decode(SPC_INDIRECT_DATA_OBJID, bytes, size) && !indirect.Decode(SPC_INDIRECT_DATA_CONTENT_STRUCT, bytes, size)) {
      error = "SpcIndirectDataContent holds no digest";
    } else {
      const auto* spc = static_cast<const SPC_INDIRECT_DATA_CONTENT*>(indirect.Data);
      info.DigestOid = spc->DigestAlgorithm.pszObjId ? spc->DigestAlgorithm.pszObjId : "";
      info.Digest.assign(spc->Digest.pbData, spc->Digest.pbData + spc->Digest.cbData);
      ok = true;
    }
  }
  if (ok) {
    DWORD count = 0, n = sizeof count;
    if (CryptMsgGetParam(msg, CMSG_CERT_COUNT_PARAM, 0, &count, &n)) info.CertificateCount = count;
    if (Param(msg, CMSG_SIGNER_CERT_INFO_PARAM, 0, signer)) {
      auto* certInfo = reinterpret_cast<CERT_INFO*>(signer.data());
      for (DWORD i = certInfo->SerialNumber.cbData; i-- > 0;) info.Serial.push_back(certInfo->SerialNumber.pbData[i]);
      while (info.Serial.size() > 1 && info.Serial[0] == 0) info.Serial.erase(info.Serial.begin());
      HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, msg);
      if (store) {
        if (PCCERT_CONTEXT cert = CertGetSubjectCertificateFromStore(store, kEncoding, certInfo)) {
          info.Signer = NameOf(cert, 0);
          info.Issuer = NameOf(cert, CERT_NAME_ISSUER_FLAG);
          CertFreeCertificateContext(cert);
        }
        CertCloseStore(store, 0);
      }
    }
    info.HasSigningTime = SigningTime(msg, info.SigningTime);
  }
  CryptMsgClose(msg);
  return ok;
}

std::string VerifyAuthenticodeTrust(const std::string& fileName) {
  if (fileName.empty()) return "not verified on this system";
  const std::u16string wide = Utf8ToUtf16(fileName);
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = reinterpret_cast<const wchar_t*>(wide.c_str());
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  switch (static_cast<HRESULT>(status)) {
    case ERROR_SUCCESS: return "trusted";
    case TRUST_E_NOSIGNATURE: return "not signed";
    case CERT_E_UNTRUSTEDROOT: return "untrusted root";
    case CERT_E_EXPIRED: return "expired";
    case CERT_E_CHAINING: return "certificate chain incomplete";
    case CERT_E_REVOKED: return "revoked";
    case TRUST_E_BAD_DIGEST: return "bad digest";
    case TRUST_E_EXPLICIT_DISTRUST: return "explicitly distrusted";
    case TRUST_E_SUBJECT_NOT_TRUSTED: return "not trusted";
    case CRYPT_E_SECURITY_SETTINGS: return "refused by the security settings";
    case TRUST_E_PROVIDER_UNKNOWN: return "no trust provider";
    default: break;
  }
  char text[48];
  std::snprintf(text, sizeof text, "not trusted (error 0x%08lX)", static_cast<unsigned long>(status));
  return text;
}

}  // namespace bq
