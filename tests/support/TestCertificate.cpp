#include "TestCertificate.h"

#include <arpa/inet.h>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace {

template <typename T, void (*Free)(T*)> struct TFree {
  void operator()(T* p) const { Free(p); }
};
using TKey = std::unique_ptr<EVP_PKEY, TFree<EVP_PKEY, EVP_PKEY_free>>;
using TCertificate = std::unique_ptr<X509, TFree<X509, X509_free>>;
using TBio = std::unique_ptr<BIO, TFree<BIO, BIO_free_all>>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test certificate: ") + what + " failed");
}

std::string TextOf(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(size));
}

} // namespace

TTestCertificate::TTestCertificate(const std::string& host, int notBeforeDays, int notAfterDays) {
  TKey key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "key");
  TCertificate certificate(X509_new());
  Check(certificate != nullptr, "certificate");
  X509* cert = certificate.get();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), static_cast<long>(notBeforeDays) * 86400);
  X509_gmtime_adj(X509_getm_notAfter(cert), static_cast<long>(notAfterDays) * 86400);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509_set_pubkey(cert, key.get());

  in_addr address{};
  const std::string altName =
      (::inet_pton(AF_INET, host.c_str(), &address) == 1 ? "IP:" : "DNS:") + host;
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  for (const auto& [nid, value] : {std::pair<int, std::string>{NID_subject_alt_name, altName},
                                   {NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Check(extension != nullptr, "extension");
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
  }
  Check(X509_sign(cert, key.get(), EVP_sha256()) > 0, "signature");

  TBio certText(BIO_new(BIO_s_mem()));
  Check(PEM_write_bio_X509(certText.get(), cert) == 1, "certificate PEM");
  CertificatePem = TextOf(certText.get());
  TBio keyText(BIO_new(BIO_s_mem()));
  Check(PEM_write_bio_PrivateKey(keyText.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
            1,
        "key PEM");
  KeyPem = TextOf(keyText.get());
}
