// Authenticode signatures through OpenSSL's libcrypto (every build but Windows).
#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "platform/bqAuthenticode.h"

namespace bq {

namespace {

template <typename T, void (*Free)(T*)>
struct TDeleter {
  void operator()(T* p) const { Free(p); }
};
using TPkcs7 = std::unique_ptr<PKCS7, TDeleter<PKCS7, PKCS7_free>>;
using TSignerInfo = std::unique_ptr<PKCS7_SIGNER_INFO, TDeleter<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>>;
using TTstInfo = std::unique_ptr<TS_TST_INFO, TDeleter<TS_TST_INFO, TS_TST_INFO_free>>;

void FreeSequence(ASN1_SEQUENCE_ANY* s) { sk_ASN1_TYPE_pop_free(s, ASN1_TYPE_free); }
using TSequence = std::unique_ptr<ASN1_SEQUENCE_ANY, TDeleter<ASN1_SEQUENCE_ANY, FreeSequence>>;

// The elements of a SEQUENCE held as an ASN1_TYPE.
TSequence Elements(const ASN1_TYPE* t) {
  if (!t || t->type != V_ASN1_SEQUENCE || !t->value.sequence) return nullptr;
  const unsigned char* p = t->value.sequence->data;
  return TSequence(d2i_ASN1_SEQUENCE_ANY(nullptr, &p, t->value.sequence->length));
}

std::string CommonName(const X509_NAME* name) {
  const int at = name ? X509_NAME_get_index_by_NID(name, NID_commonName, -1) : -1;
  if (at < 0) return {};
  unsigned char* utf8 = nullptr;
  const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
  std::string text = n > 0 ? std::string(reinterpret_cast<char*>(utf8), static_cast<size_t>(n)) : std::string();
  OPENSSL_free(utf8);
  return text;
}

bool Seconds(const ASN1_TIME* t, int64_t& seconds) {
  std::tm tm{};
  if (!t || !ASN1_TIME_to_tm(t, &tm)) return false;
  seconds = static_cast<int64_t>(timegm(&tm));
  return true;
}

// The time of the first countersignature or RFC 3161 token among the signer's unsigned attributes.
bool SigningTime(PKCS7_SIGNER_INFO* si, int64_t& seconds) {
  if (const ASN1_TYPE* counter = PKCS7_get_attribute(si, NID_pkcs9_countersignature);
      counter && counter->type == V_ASN1_SEQUENCE) {
    const unsigned char* p = counter->value.sequence->data;
    TSignerInfo csi(d2i_PKCS7_SIGNER_INFO(nullptr, &p, counter->value.sequence->length));
    const ASN1_TYPE* time = csi ? PKCS7_get_signed_attribute(csi.get(), NID_pkcs9_signingTime) : nullptr;
    if (time && (time->type == V_ASN1_UTCTIME || time->type == V_ASN1_GENERALIZEDTIME) &&
        Seconds(time->value.utctime, seconds))
      return true;
  }
  const STACK_OF(X509_ATTRIBUTE)* attributes = si->unauth_attr;
  for (int i = 0; i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
    X509_ATTRIBUTE* a = sk_X509_ATTRIBUTE_value(attributes, i);
    char oid[64];
    if (OBJ_obj2txt(oid, sizeof oid, X509_ATTRIBUTE_get0_object(a), 1) <= 0 || std::string(oid) != "1.3.6.1.4.1.311.3.3.1")
      continue;
    const ASN1_TYPE* token = X509_ATTRIBUTE_get0_type(a, 0);
    if (!token || token->type != V_ASN1_SEQUENCE) continue;
    const unsigned char* p = token->value.sequence->data;
    TPkcs7 p7(d2i_PKCS7(nullptr, &p, token->value.sequence->length));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) continue;
    TTstInfo tst(PKCS7_to_TS_TST_INFO(p7.get()));
    if (tst && Seconds(TS_TST_INFO_get_time(tst.get()), seconds)) return true;
  }
  return false;
}

}  // namespace

namespace {
bool Parse(TByteView der, TAuthenticodeInfo& info, std::string& error);
}

bool ParseAuthenticode(TByteView der, TAuthenticodeInfo& info, std::string& error) {
  const bool ok = Parse(der, info, error);
  // The library queues an error for every refusal on this thread: drop them.
  ERR_clear_error();
  return ok;
}

namespace {

bool Parse(TByteView der, TAuthenticodeInfo& info, std::string& error) {
  info = {};
  const unsigned char* p = der.Data();
  TPkcs7 p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.Size())));
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign) {
    error = "the signature is not a PKCS#7 SignedData message";
    return false;
  }
  PKCS7_SIGNED* sd = p7->d.sign;
  // SpcIndirectDataContent ::= SEQUENCE { data, messageDigest DigestInfo }, and
  // DigestInfo ::= SEQUENCE { digestAlgorithm AlgorithmIdentifier, digest OCTET STRING }.
  char oid[64];
  if (!sd->contents || OBJ_obj2txt(oid, sizeof oid, sd->contents->type, 1) <= 0 || std::string(oid) != "1.3.6.1.4.1.311.2.1.4") {
    error = "the signed content is not SpcIndirectDataContent";
    return false;
  }
  const TSequence indirect = Elements(sd->contents->d.other);
  const TSequence digestInfo = indirect && sk_ASN1_TYPE_num(indirect.get()) >= 2 ? Elements(sk_ASN1_TYPE_value(indirect.get(), 1)) : nullptr;
  const TSequence algorithm = digestInfo && sk_ASN1_TYPE_num(digestInfo.get()) >= 2 ? Elements(sk_ASN1_TYPE_value(digestInfo.get(), 0)) : nullptr;
  const ASN1_TYPE* algorithmOid = algorithm && sk_ASN1_TYPE_num(algorithm.get()) >= 1 ? sk_ASN1_TYPE_value(algorithm.get(), 0) : nullptr;
  const ASN1_TYPE* digest = digestInfo ? sk_ASN1_TYPE_value(digestInfo.get(), 1) : nullptr;
  if (!algorithmOid || algorithmOid->type != V_ASN1_OBJECT || !digest || digest->type != V_ASN1_OCTET_STRING ||
      OBJ_obj2txt(oid, sizeof oid, algorithmOid->value.object, 1) <= 0) {
    error = "SpcIndirectDataContent holds no digest";
    return false;
  }
  info.DigestOid = oid;
  const unsigned char* d = ASN1_STRING_get0_data(digest->value.octet_string);
  info.Digest.assign(d, d + ASN1_STRING_length(digest->value.octet_string));

  info.CertificateCount = static_cast<size_t>(std::max(0, sk_X509_num(sd->cert)));
  PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_num(sd->signer_info) > 0 ? sk_PKCS7_SIGNER_INFO_value(sd->signer_info, 0) : nullptr;
  if (si && si->issuer_and_serial) {
    const ASN1_INTEGER* serial = si->issuer_and_serial->serial;
    const unsigned char* s = ASN1_STRING_get0_data(serial);
    info.Serial.assign(s, s + ASN1_STRING_length(serial));
    while (info.Serial.size() > 1 && info.Serial[0] == 0) info.Serial.erase(info.Serial.begin());
    X509* cert = X509_find_by_issuer_and_serial(sd->cert, si->issuer_and_serial->issuer, si->issuer_and_serial->serial);
    if (cert) {
      info.Signer = CommonName(X509_get_subject_name(cert));
      info.Issuer = CommonName(X509_get_issuer_name(cert));
    } else {
      info.Issuer = CommonName(si->issuer_and_serial->issuer);
    }
    info.HasSigningTime = SigningTime(si, info.SigningTime);
  }
  return true;
}

}  // namespace

std::string VerifyAuthenticodeTrust(const std::string&) { return "not verified on this system"; }

}  // namespace bq
