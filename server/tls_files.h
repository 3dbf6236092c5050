#pragma once
// The certificates of an office without an authority of its own (ger-admin tls-ca, tls-cert): a
// self-signed authority, and certificates it issues for the servers' names, which nginx presents
// and the desktop hosts check against the authority's certificate (their ca_file). Elliptic-curve
// keys (P-256) with SHA-256 signatures. Keys are written readable by their owner only (0600) and a
// folder made here is the owner's only (0700); an existing file is never overwritten.
#include <filesystem>
#include <string>
#include <vector>

namespace ger::server {

struct Validity {
  int days = 825;
  long startSeconds = 0;  // when it begins, from now (negative: in the past)
};

// Writes DIR/ca.pem (the certificate the seats are given) and DIR/ca.key. std::runtime_error with
// an English sentence when either exists or cannot be written.
void MakeAuthority(const std::filesystem::path& dir, const std::string& commonName,
                   Validity validity = {3650, 0});

// Writes DIR/NAME.pem and DIR/NAME.key, NAME being the first of `names` (host names or IP
// addresses, each put in the certificate), signed by DIR's authority. std::runtime_error when the
// authority is missing, a name is unusable, or a file exists.
void MakeCertificate(const std::filesystem::path& dir, const std::vector<std::string>& names,
                     Validity validity = {});

}  // namespace ger::server
