#pragma once

#include <string>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

namespace qlm::test {

// A certificate authority made for one test: its own EC key and self-signed certificate, and the
// server certificates it signs, all written as PEM files into a folder of the test's.
//
//   TestAuthority authority(dir);
//   TestAuthority::Issued server = authority.Issue("good", {"localhost", "127.0.0.1"});
//   ... nginx with server.certificate and server.key; the client trusts authority.File() ...
class TestAuthority {
 public:
  // What Issue wrote: the certificate (PEM) and its key (PEM).
  struct Issued {
    std::string certificate;
    std::string key;
  };

  // Makes the authority's key and certificate and writes the certificate to folder/<stem>.pem.
  TestAuthority(const std::string& folder, const std::string& stem = "authority");
  ~TestAuthority();
  TestAuthority(const TestAuthority&) = delete;
  TestAuthority& operator=(const TestAuthority&) = delete;

  bool Valid() const { return key_ != nullptr && certificate_ != nullptr; }
  // The authority's certificate, to be trusted by the client.
  const std::string& File() const { return file_; }

  // Signs a server certificate for `names` (host names or IPv4 addresses, as subject alternative
  // names) valid from now + valid_from to now + valid_until (seconds; negative for the past) and
  // writes it with its key to folder/<stem>.pem and folder/<stem>.key. Empty paths on failure.
  Issued Issue(const std::string& stem, const std::vector<std::string>& names,
               long valid_from = -3600, long valid_until = 86400) const;

 private:
  std::string folder_;
  std::string file_;
  EVP_PKEY* key_ = nullptr;
  X509* certificate_ = nullptr;
};

}  // namespace qlm::test
