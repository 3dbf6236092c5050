#pragma once
// TLS for the client's channel (OpenSSL). A TlsContext holds what every connection of a channel
// verifies against: TLS 1.2 or later, the system's authorities or the ones of a CA file. A
// TlsSession runs over one connected non-blocking socket: the handshake checks the server's
// certificate chain, its dates and that it was issued for the host name (or address) the
// client asked for, and the first check that fails is kept, with what the certificate said,
// for the sentence the user reads. Every operation returns at once with what it needs next
// (WantRead, WantWrite), so the channel waits on the socket under its own deadline, as over
// plain HTTP. The socket is written with MSG_NOSIGNAL: a peer that went away never raises
// SIGPIPE in the host.
#include <cstddef>
#include <memory>
#include <string>

namespace ger::net {

// Which check refused a secure connection.
enum class TlsCheck {
  None,
  CaFile,       // the CA file named in the settings could not be read
  Authority,    // the chain does not lead to a trusted authority (or is otherwise unsound)
  Expired,      // a certificate of the chain has expired
  NotYetValid,  // a certificate of the chain is not valid yet
  Name,         // the certificate was not issued for the name (or address) asked for
  Handshake,    // no secure connection came about (not TLS, an old version, a broken peer)
};

struct TlsRefusal {
  TlsCheck check = TlsCheck::None;
  // What the user's sentence shows beside the check: the names the certificate holds (Name),
  // its issuer (Authority), the date as dd/mm/yyyy (Expired, NotYetValid), the file and its
  // problem (CaFile), or the library's reason (Handshake).
  std::string detail;
};

enum class TlsIo { Done, WantRead, WantWrite, Closed, Failed };

class TlsContext {
 public:
  // `caFile` empty: the system's authorities. A CA file that cannot be read is not an error
  // here: every handshake is then refused with TlsCheck::CaFile (see Problem()).
  explicit TlsContext(const std::string& caFile);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  const TlsRefusal& Problem() const { return problem_; }

 private:
  friend class TlsSession;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TlsRefusal problem_;
};

class TlsSession {
 public:
  // `host` is what the URL named: a DNS name (sent as SNI and checked against the certificate's
  // names) or an IP address (checked against its addresses).
  TlsSession(TlsContext& context, int fd, const std::string& host);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Done once the handshake has succeeded; Failed with Refusal() set when it was refused.
  TlsIo Handshake();
  // Done with `n` > 0 bytes; Closed when the server ended the stream properly (close_notify);
  // Failed when it broke off without that (an answer cut there is not whole).
  TlsIo Read(char* data, std::size_t size, std::size_t& n);
  // Done with `n` > 0 bytes written.
  TlsIo Write(const char* data, std::size_t size, std::size_t& n);
  // Decrypted bytes held back from the socket, which poll() does not see.
  bool Pending() const;
  // Tells the server the connection ends (when it is still sound); never waits.
  void Shutdown();
  const TlsRefusal& Refusal() const { return refusal_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  TlsRefusal refusal_;
};

}  // namespace ger::net
