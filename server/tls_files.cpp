#include "tls_files.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace ger::server {

namespace {

template <class T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Freer<X509, X509_free>>;

[[noreturn]] void Fail(const std::string& what) {
  const unsigned long error = ERR_get_error();
  ERR_clear_error();
  throw std::runtime_error(what +
                           (error ? std::string(": ") + ERR_reason_error_string(error) : ""));
}

void Check(int ok, const char* what) {
  if (ok != 1) Fail(what);
}

bool IsAddress(const std::string& name) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, name.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

// Host names are letters, digits, hyphens and dots (a leading "*." for a wildcard); anything else
// would make a file name or a certificate no client matches.
void CheckName(const std::string& name) {
  if (IsAddress(name)) return;
  std::string_view rest = name;
  if (rest.starts_with("*.")) rest.remove_prefix(2);
  bool ok = !rest.empty() && rest.size() <= 253 && rest.front() != '.' && rest.front() != '-';
  for (char c : rest)
    ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '.');
  if (!ok) throw std::runtime_error("'" + name + "' is not a host name or an IP address");
}

void MakeFolder(const fs::path& dir) {
  if (fs::exists(dir)) {
    if (!fs::is_directory(dir)) throw std::runtime_error(dir.string() + " is not a folder");
    return;
  }
  fs::create_directories(dir.parent_path().empty() ? fs::path(".") : dir.parent_path());
  if (::mkdir(dir.c_str(), 0700) != 0)
    throw std::runtime_error("cannot make the folder " + dir.string() + ": " +
                             std::strerror(errno));
}

void Refuse(const fs::path& file) {
  if (fs::exists(fs::symlink_status(file)))
    throw std::runtime_error(file.string() + " exists already; nothing was written");
}

// Writes a file that did not exist, with `mode` whatever the umask.
template <class Write>
void WriteNew(const fs::path& file, mode_t mode, Write write) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0)
    throw std::runtime_error("cannot write " + file.string() + ": " + std::strerror(errno));
  ::fchmod(fd, mode);
  std::FILE* out = ::fdopen(fd, "w");
  if (!out) {
    ::close(fd);
    throw std::runtime_error("cannot write " + file.string());
  }
  const bool ok = write(out) == 1;
  if (std::fclose(out) != 0 || !ok) {
    fs::remove(file);
    Fail("cannot write " + file.string());
  }
}

Key NewKey() {
  Key key(EVP_EC_gen("P-256"));
  if (!key) Fail("cannot make a key");
  return key;
}

Cert NewCertificate(const std::string& commonName, EVP_PKEY* key, Validity validity) {
  Cert cert(X509_new());
  if (!cert) Fail("cannot make a certificate");
  Check(X509_set_version(cert.get(), 2), "version");
  // A random serial number: two certificates of one authority never share one.
  unsigned char bytes[16];
  Check(RAND_bytes(bytes, sizeof bytes), "serial number");
  bytes[0] &= 0x7f;
  BIGNUM* serial = BN_bin2bn(bytes, sizeof bytes, nullptr);
  const bool serialSet = serial && BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get()));
  BN_free(serial);
  if (!serialSet) Fail("serial number");
  if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), validity.startSeconds) ||
      !X509_gmtime_adj(X509_getm_notAfter(cert.get()),
                       validity.startSeconds + 86400L * validity.days))
    Fail("validity");
  X509_NAME* subject = X509_get_subject_name(cert.get());
  Check(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0),
        "subject");
  Check(X509_set_pubkey(cert.get(), key), "public key");
  return cert;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) Fail("extension " + value);
  const int ok = X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
  Check(ok, "extension");
}

Key ReadKey(const fs::path& file) {
  std::FILE* in = std::fopen(file.c_str(), "r");
  if (!in) throw std::runtime_error("cannot read " + file.string() + ": " + std::strerror(errno));
  Key key(PEM_read_PrivateKey(in, nullptr, nullptr, nullptr));
  std::fclose(in);
  if (!key) Fail("no private key in " + file.string());
  return key;
}

Cert ReadCertificate(const fs::path& file) {
  std::FILE* in = std::fopen(file.c_str(), "r");
  if (!in) throw std::runtime_error("cannot read " + file.string() + ": " + std::strerror(errno));
  Cert cert(PEM_read_X509(in, nullptr, nullptr, nullptr));
  std::fclose(in);
  if (!cert) Fail("no certificate in " + file.string());
  return cert;
}

void WriteKeyAndCertificate(const fs::path& dir, const std::string& stem, EVP_PKEY* key,
                            X509* cert) {
  const fs::path keyFile = dir / (stem + ".key"), certFile = dir / (stem + ".pem");
  Refuse(keyFile);
  Refuse(certFile);
  WriteNew(keyFile, 0600, [&](std::FILE* out) {
    return PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
  });
  try {
    WriteNew(certFile, 0644, [&](std::FILE* out) { return PEM_write_X509(out, cert); });
  } catch (...) {
    fs::remove(keyFile);
    throw;
  }
}

}  // namespace

void MakeAuthority(const fs::path& dir, const std::string& commonName, Validity validity) {
  ERR_clear_error();
  Refuse(dir / "ca.key");
  Refuse(dir / "ca.pem");
  MakeFolder(dir);
  Key key = NewKey();
  Cert cert = NewCertificate(commonName, key.get(), validity);
  Check(X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())), "issuer");
  AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
  AddExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash");
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) Fail("cannot sign the authority");
  WriteKeyAndCertificate(dir, "ca", key.get(), cert.get());
}

void MakeCertificate(const fs::path& dir, const std::vector<std::string>& names,
                     Validity validity) {
  ERR_clear_error();
  if (names.empty()) throw std::runtime_error("no name for the certificate");
  for (const std::string& name : names) CheckName(name);
  if (names.front() == "ca" || names.front().starts_with("*"))
    throw std::runtime_error("'" + names.front() + "' cannot name the certificate's files");
  Refuse(dir / (names.front() + ".key"));
  Refuse(dir / (names.front() + ".pem"));
  if (!fs::exists(dir / "ca.key") || !fs::exists(dir / "ca.pem"))
    throw std::runtime_error("no authority in " + dir.string() + " (make one with tls-ca)");
  Key caKey = ReadKey(dir / "ca.key");
  Cert ca = ReadCertificate(dir / "ca.pem");
  Key key = NewKey();
  Cert cert = NewCertificate(names.front(), key.get(), validity);
  Check(X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get())), "issuer");
  std::string alternatives;
  for (const std::string& name : names)
    alternatives +=
        (alternatives.empty() ? "" : ",") + std::string(IsAddress(name) ? "IP:" : "DNS:") + name;
  AddExtension(cert.get(), ca.get(), NID_subject_alt_name, alternatives);
  AddExtension(cert.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
  AddExtension(cert.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
  AddExtension(cert.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(cert.get(), ca.get(), NID_subject_key_identifier, "hash");
  AddExtension(cert.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
  if (X509_sign(cert.get(), caKey.get(), EVP_sha256()) <= 0) Fail("cannot sign the certificate");
  WriteKeyAndCertificate(dir, names.front(), key.get(), cert.get());
}

}  // namespace ger::server
