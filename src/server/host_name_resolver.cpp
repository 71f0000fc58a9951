#include "server/host_name_resolver.h"

#include <QHostInfo>
#include <QTimer>
#include <memory>

namespace tramolin {

void SystemHostNameResolver::Resolve(const QHostAddress& address, QObject* context, Done done) {
  // Whichever comes first, the answer or the time-out, answers; the other finds it taken.
  auto pending = std::make_shared<Done>(std::move(done));
  const QString text = address.toString();
  const int lookup_id =
      QHostInfo::lookupHost(text, context, [pending, text](const QHostInfo& info) {
        if (!*pending) return;
        const Done finish = std::exchange(*pending, nullptr);
        const bool named = info.error() == QHostInfo::NoError && info.hostName() != text;
        finish(named ? info.hostName() : QString());
      });
  QTimer::singleShot(timeout_ms_, context, [pending, lookup_id] {
    if (!*pending) return;
    QHostInfo::abortHostLookup(lookup_id);
    const Done finish = std::exchange(*pending, nullptr);
    finish(QString());
  });
}

}  // namespace tramolin
