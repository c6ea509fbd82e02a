#include "tests/support/TestAuthority.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>

namespace qlm::test {

namespace {

std::atomic<long> next_serial{1};

bool AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `key` named `common_name`, valid over the given offsets from now; signed
// later. nullptr on failure.
X509* NewCertificate(EVP_PKEY* key, const std::string& common_name, long valid_from,
                     long valid_until) {
  X509* certificate = X509_new();
  if (certificate == nullptr) return nullptr;
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), next_serial++);
  X509_gmtime_adj(X509_getm_notBefore(certificate), valid_from);
  X509_gmtime_adj(X509_getm_notAfter(certificate), valid_until);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                             0);
  return certificate;
}

bool WritePem(const std::string& path, X509* certificate, EVP_PKEY* key) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool ok = certificate
                ? PEM_write_X509(file, certificate) == 1
                : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

}  // namespace

TestAuthority::TestAuthority(const std::string& folder, const std::string& stem)
    : folder_(folder), file_(folder + "/" + stem + ".pem") {
  key_ = EVP_EC_gen("P-256");
  if (key_ == nullptr) return;
  certificate_ = NewCertificate(key_, "Quillmere Test Authority " + stem, -3600, 7 * 86400);
  if (certificate_ == nullptr) return;
  X509_set_issuer_name(certificate_, X509_get_subject_name(certificate_));
  const bool ok =
      AddExtension(certificate_, certificate_, NID_basic_constraints, "critical,CA:TRUE") &&
      AddExtension(certificate_, certificate_, NID_key_usage, "critical,keyCertSign,cRLSign") &&
      AddExtension(certificate_, certificate_, NID_subject_key_identifier, "hash") &&
      X509_sign(certificate_, key_, EVP_sha256()) > 0 && WritePem(file_, certificate_, nullptr);
  if (!ok) {
    X509_free(certificate_);
    certificate_ = nullptr;
  }
}

TestAuthority::~TestAuthority() {
  X509_free(certificate_);
  EVP_PKEY_free(key_);
}

TestAuthority::Issued TestAuthority::Issue(const std::string& stem,
                                           const std::vector<std::string>& names, long valid_from,
                                           long valid_until) const {
  if (!Valid() || names.empty()) return {};
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (key == nullptr) return {};
  X509* certificate = NewCertificate(key, names.front(), valid_from, valid_until);
  std::string alternatives;
  for (const std::string& name : names) {
    in_addr address{};
    if (!alternatives.empty()) alternatives += ",";
    alternatives += (inet_pton(AF_INET, name.c_str(), &address) == 1 ? "IP:" : "DNS:") + name;
  }
  Issued issued{folder_ + "/" + stem + ".pem", folder_ + "/" + stem + ".key"};
  const bool ok =
      certificate != nullptr &&
      X509_set_issuer_name(certificate, X509_get_subject_name(certificate_)) == 1 &&
      AddExtension(certificate, certificate_, NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(certificate, certificate_, NID_ext_key_usage, "serverAuth") &&
      AddExtension(certificate, certificate_, NID_authority_key_identifier, "keyid") &&
      AddExtension(certificate, certificate_, NID_subject_alt_name, alternatives) &&
      X509_sign(certificate, key_, EVP_sha256()) > 0 &&
      WritePem(issued.certificate, certificate, nullptr) && WritePem(issued.key, nullptr, key);
  X509_free(certificate);
  EVP_PKEY_free(key);
  if (!ok) return {};
  return issued;
}

}  // namespace qlm::test
