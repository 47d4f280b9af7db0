#pragma once

#include <string>

// A private key and a self-signed certificate for the TLS tests, made with OpenSSL in
// memory: for a host (an IPv4 address or a name, put in the subject alternative name),
// valid from notBeforeDays to notAfterDays (days from now; negative: in the past).
struct TTestCertificate {
  TTestCertificate(const std::string& host, int notBeforeDays = -1, int notAfterDays = 30);

  std::string CertificatePem;
  std::string KeyPem;
  // Key and certificate in one file, as servers take them.
  std::string ServerPem() const { return KeyPem + CertificatePem; }
};
