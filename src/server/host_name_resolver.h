// The reverse look-up of a connecting peer's host name, for the acceptance rules and the log
// lines. Asynchronous and bounded in time: the event loop never waits for a name server.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>

namespace tramolin {

class HostNameResolver {
 public:
  using Done = std::function<void(const QString& host_name)>;

  virtual ~HostNameResolver() = default;
  // Calls done exactly once, later on the event loop, with the peer's host name or "" when it has
  // none or the look-up failed or took too long. Nothing is called once context is destroyed.
  virtual void Resolve(const QHostAddress& address, QObject* context, Done done) = 0;
};

// The system's resolver (QHostInfo), given up after timeout_ms.
class SystemHostNameResolver final : public HostNameResolver {
 public:
  explicit SystemHostNameResolver(int timeout_ms = 3000) : timeout_ms_(timeout_ms) {}
  void Resolve(const QHostAddress& address, QObject* context, Done done) override;

 private:
  int timeout_ms_;
};

}  // namespace tramolin
