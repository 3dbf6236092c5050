#pragma once
// The exception kinds the screens rely on. Every error the host shows derives from Exception;
// EAbort is the silent abort: it ends the running gesture and is never shown.
#include <stdexcept>
#include <string>

namespace ger {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const std::string Message() const { return what(); }
};

// Ends the current gesture without any message (the user has already been told, or nothing
// needs telling).
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operação cancelada.") {}
};

// A text that does not convert to the field's kind ("'abc' não é um valor numérico válido.").
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A dataset used in a way its state does not allow, or a malformed data packet.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// A failed answer of the application server (its message is the server's sentence).
class EServerError : public Exception {
 public:
  using Exception::Exception;
};

// Raises the silent abort, as the platform's Abort routine does.
[[noreturn]] inline void Abort() { throw EAbort(); }

}  // namespace ger
