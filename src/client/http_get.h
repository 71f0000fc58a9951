// One HTTPS GET for the vendor's address service and update check: asynchronous on the event loop,
// bounded in time, certificates verified, TLS 1.2 or newer. The body comes back as raw bytes.
#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "engine/host_services.h"

namespace tramolin {

struct HttpGetOptions {
  // The whole request, redirects included, must end within this time.
  std::chrono::milliseconds timeout{15000};
  // Certificate authorities trusted as well (tests: the certificate of a local server).
  QList<QSslCertificate> extra_ca_certificates{};
};

struct HttpGetResult {
  bool ok = false;
  std::string body{};   // the response body as received, no character set conversion
  std::string error{};  // why it failed (code page 1250), empty when ok
};

// The URL with the scheme https: when the lower-cased URL does not begin with "https", the first
// "http" (case-sensitive) becomes "https". "HTTP://..." and URLs without "http" stay as they are.
std::string ForceHttps(std::string_view url);

// Starts a GET of the URL exactly as given (code page 1250 text). done is called exactly once,
// later on the event loop, never from inside this call. The request belongs to context: when
// context is destroyed first, the request is aborted and done is never called.
void StartHttpGet(std::string_view url, QObject* context, const HttpGetOptions& options,
                  std::function<void(HttpGetResult)> done);

// The address service's GET: ForceHttps(url), then as StartHttpGet. A failure is logged once at
// level 4 ("Błąd pobierania adresu z DynDNS (url): "message"") and gives an empty body. host
// must outlive context.
void HttpGet(std::string_view url, HostServices& host, QObject* context,
             const HttpGetOptions& options, std::function<void(std::string body)> done);

}  // namespace tramolin
