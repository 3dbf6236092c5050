#include "net/tls.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>

namespace ger::net {

namespace {

// --- the socket under OpenSSL: send with MSG_NOSIGNAL, no SIGPIPE -----------------------------

int SocketOf(BIO* bio) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int SocketWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = ::send(SocketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = ::recv(SocketOf(bio), data, static_cast<std::size_t>(size), MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long SocketCtrl(BIO*, int command, long, void*) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;  // nothing is buffered here
}

int SocketCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* SocketMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ger socket");
    BIO_meth_set_write(m, SocketWrite);
    BIO_meth_set_read(m, SocketRead);
    BIO_meth_set_ctrl(m, SocketCtrl);
    BIO_meth_set_create(m, SocketCreate);
    return m;
  }();
  return method;
}

// --- what a refused certificate said -----------------------------------------------------------

std::string Date(const ASN1_TIME* time) {
  std::tm tm{};
  if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return "?";
  char text[40];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
  return text;
}

std::string CommonName(const X509_NAME* name) {
  const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  if (at < 0) return {};
  unsigned char* utf8 = nullptr;
  const int size =
      ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
  if (size < 0) return {};
  std::string out(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(size));
  OPENSSL_free(utf8);
  return out;
}

// The names and addresses a certificate was issued for, as "'a', 'b'"; its common name when it
// has no alternative names.
std::string NamesOf(X509* cert) {
  std::string out;
  auto add = [&out](const std::string& name) { out += (out.empty() ? "'" : ", '") + name + "'"; };
  auto* names =
      static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
  for (int i = 0; names && i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type == GEN_DNS) {
      const ASN1_IA5STRING* dns = name->d.dNSName;
      add(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                      static_cast<std::size_t>(ASN1_STRING_length(dns))));
    } else if (name->type == GEN_IPADD) {
      const ASN1_OCTET_STRING* ip = name->d.iPAddress;
      char text[INET6_ADDRSTRLEN] = "";
      const int family = ASN1_STRING_length(ip) == 4 ? AF_INET : AF_INET6;
      if (ASN1_STRING_length(ip) == 4 || ASN1_STRING_length(ip) == 16)
        ::inet_ntop(family, ASN1_STRING_get0_data(ip), text, sizeof text);
      add(text);
    }
  }
  GENERAL_NAMES_free(names);
  if (out.empty()) {
    const std::string common = CommonName(X509_get_subject_name(cert));
    out = common.empty() ? "nenhum nome" : "'" + common + "'";
  }
  return out;
}

TlsRefusal Describe(int error, X509* cert) {
  switch (error) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return {TlsCheck::Name, cert ? NamesOf(cert) : "?"};
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return {TlsCheck::Expired, Date(cert ? X509_get0_notAfter(cert) : nullptr)};
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return {TlsCheck::NotYetValid, Date(cert ? X509_get0_notBefore(cert) : nullptr)};
    default: {
      std::string issuer = cert ? CommonName(X509_get_issuer_name(cert)) : std::string();
      if (issuer.empty()) issuer = X509_verify_cert_error_string(error);
      return {TlsCheck::Authority, "'" + issuer + "'"};
    }
  }
}

// Keeps the first check that failed; returning 0 ends the handshake there.
int KeepFirstFailure(int ok, X509_STORE_CTX* store) {
  if (ok) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* refusal = ssl ? static_cast<TlsRefusal*>(SSL_get_app_data(ssl)) : nullptr;
  if (refusal && refusal->check == TlsCheck::None)
    *refusal = Describe(X509_STORE_CTX_get_error(store), X509_STORE_CTX_get_current_cert(store));
  return 0;
}

// Why the library gave up, in its own words.
std::string LibraryReason() {
  const unsigned long error = ERR_peek_last_error();
  if (error != 0) {
    const char* reason = ERR_reason_error_string(error);
    if (reason) return reason;
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    return text;
  }
  if (errno != 0) return std::strerror(errno);
  return "connection closed by the server";
}

bool IsAddress(const std::string& host) {
  unsigned char bytes[16];
  return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

}  // namespace

// --- context -----------------------------------------------------------------------------------

struct TlsContext::Impl {
  SSL_CTX* ctx = nullptr;
  ~Impl() { SSL_CTX_free(ctx); }
};

TlsContext::TlsContext(const std::string& caFile) : impl_(std::make_unique<Impl>()) {
  ERR_clear_error();
  impl_->ctx = SSL_CTX_new(TLS_client_method());
  if (!impl_->ctx) {
    problem_ = {TlsCheck::Handshake, LibraryReason()};
    return;
  }
  SSL_CTX* ctx = impl_->ctx;
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, KeepFirstFailure);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (caFile.empty()) {
    SSL_CTX_set_default_verify_paths(ctx);
    return;
  }
  // The office's own authority instead of the system's: a certificate it did not issue is
  // refused even when a public authority did.
  if (!std::ifstream(caFile)) {
    problem_ = {TlsCheck::CaFile, std::strerror(errno)};
  } else if (SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
    problem_ = {TlsCheck::CaFile, "no PEM certificate in it"};
  }
  ERR_clear_error();
}

TlsContext::~TlsContext() = default;

// --- session -----------------------------------------------------------------------------------

struct TlsSession::Impl {
  SSL* ssl = nullptr;
  bool sound = true;  // no fatal error: a close_notify may still be sent
  ~Impl() { SSL_free(ssl); }

  TlsIo Outcome(int rc) {
    switch (SSL_get_error(ssl, rc)) {
      case SSL_ERROR_WANT_READ:
        return TlsIo::WantRead;
      case SSL_ERROR_WANT_WRITE:
        return TlsIo::WantWrite;
      case SSL_ERROR_ZERO_RETURN:
        return TlsIo::Closed;
      default:
        sound = false;
        return TlsIo::Failed;
    }
  }
};

TlsSession::TlsSession(TlsContext& context, int fd, const std::string& host)
    : impl_(std::make_unique<Impl>()) {
  if (context.problem_.check != TlsCheck::None) {
    refusal_ = context.problem_;
    return;
  }
  ERR_clear_error();
  impl_->ssl = SSL_new(context.impl_->ctx);
  BIO* bio = impl_->ssl ? BIO_new(SocketMethod()) : nullptr;
  if (!bio) {
    refusal_ = {TlsCheck::Handshake, LibraryReason()};
    return;
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
  SSL* ssl = impl_->ssl;
  SSL_set_bio(ssl, bio, bio);
  SSL_set_app_data(ssl, &refusal_);
  SSL_set_connect_state(ssl);
  SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (IsAddress(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, host.c_str());
    SSL_set1_host(ssl, host.c_str());
  }
}

TlsSession::~TlsSession() = default;

TlsIo TlsSession::Handshake() {
  if (!impl_->ssl) return TlsIo::Failed;
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_connect(impl_->ssl);
  if (rc == 1) return TlsIo::Done;
  const TlsIo io = impl_->Outcome(rc);
  if (io == TlsIo::Closed) impl_->sound = false;
  if (io == TlsIo::Closed || io == TlsIo::Failed) {
    if (refusal_.check == TlsCheck::None) refusal_ = {TlsCheck::Handshake, LibraryReason()};
    return TlsIo::Failed;
  }
  return io;
}

TlsIo TlsSession::Read(char* data, std::size_t size, std::size_t& n) {
  ERR_clear_error();
  const int rc = SSL_read(impl_->ssl, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
  if (rc > 0) {
    n = static_cast<std::size_t>(rc);
    return TlsIo::Done;
  }
  return impl_->Outcome(rc);
}

TlsIo TlsSession::Write(const char* data, std::size_t size, std::size_t& n) {
  ERR_clear_error();
  const int rc =
      SSL_write(impl_->ssl, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
  if (rc > 0) {
    n = static_cast<std::size_t>(rc);
    return TlsIo::Done;
  }
  return impl_->Outcome(rc);
}

bool TlsSession::Pending() const {
  return impl_->ssl && SSL_has_pending(impl_->ssl) == 1;
}

void TlsSession::Shutdown() {
  if (impl_->ssl && impl_->sound && SSL_is_init_finished(impl_->ssl)) {
    ERR_clear_error();
    SSL_shutdown(impl_->ssl);
  }
  impl_->sound = false;
}

}  // namespace ger::net
