#include "client/http_get.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr char kUserAgent[] = "Velmo CRM Support System";

std::string QtTextToCp1250(const QString& text) { return Utf8ToCp1250(text.toStdString()); }

// One request with its own network manager, so cookies and connections die with it. It is a child
// of the caller's context: destroying the context aborts the request without an answer.
class HttpGetRequest final : public QObject {
 public:
  HttpGetRequest(QObject* context, std::function<void(HttpGetResult)> done)
      : QObject(context), manager_(this), deadline_(this), done_(std::move(done)) {}

  ~HttpGetRequest() override {
    // The manager aborts the reply as it goes; that must not reach this half-destroyed object.
    if (reply_ != nullptr) QObject::disconnect(reply_, nullptr, this, nullptr);
  }

  void Start(const QUrl& url, const HttpGetOptions& options) {
    manager_.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/html"));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("text/html, */*"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!options.extra_ca_certificates.isEmpty()) {
      tls.addCaCertificates(options.extra_ca_certificates);
    }
    request.setSslConfiguration(tls);

    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &HttpGetRequest::OnDeadline);
    deadline_.start(options.timeout);
    reply_ = manager_.get(request);
    connect(reply_, &QNetworkReply::finished, this, &HttpGetRequest::OnFinished);
  }

 private:
  void OnFinished() {
    if (reply_->error() != QNetworkReply::NoError) {
      Finish({false, {}, QtTextToCp1250(reply_->errorString())});
      return;
    }
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
      const QString reason =
          reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
      Finish({false, {}, "HTTP " + std::to_string(status.toInt()) + " " + QtTextToCp1250(reason)});
      return;
    }
    Finish({true, reply_->readAll().toStdString(), {}});
  }

  void OnDeadline() {
    const auto seconds = std::chrono::duration<double>(deadline_.intervalAsDuration()).count();
    Finish({false,
            {},
            "Przekroczono czas oczekiwania na odpowiedź ("_cp +
                QString::number(seconds).toStdString() + " s)"});
    reply_->abort();  // its finished signal now finds the request answered
  }

  // Answers once: later, from a clean stack, so done may destroy the context itself.
  void Finish(HttpGetResult result) {
    if (!done_) return;
    deadline_.stop();
    auto done = std::exchange(done_, nullptr);
    QMetaObject::invokeMethod(
        parent(), [done = std::move(done), result = std::move(result)] { done(result); },
        Qt::QueuedConnection);
    deleteLater();
  }

  QNetworkAccessManager manager_;
  QTimer deadline_;
  QNetworkReply* reply_ = nullptr;
  std::function<void(HttpGetResult)> done_;
};

}  // namespace

std::string ForceHttps(std::string_view url) {
  std::string forced(url);
  if (LowerCase(url).starts_with("https")) return forced;
  const std::size_t at = forced.find("http");
  if (at != std::string::npos) forced.insert(at + 4, "s");
  return forced;
}

void StartHttpGet(std::string_view url, QObject* context, const HttpGetOptions& options,
                  std::function<void(HttpGetResult)> done) {
  const QUrl qurl(QString::fromStdString(Cp1250ToUtf8(url)), QUrl::TolerantMode);
  auto* request = new HttpGetRequest(context, std::move(done));
  request->Start(qurl, options);
}

void HttpGet(std::string_view url, HostServices& host, QObject* context,
             const HttpGetOptions& options, std::function<void(std::string body)> done) {
  std::string forced = ForceHttps(url);
  StartHttpGet(forced, context, options,
               [&host, forced, done = std::move(done)](const HttpGetResult& result) {
                 if (!result.ok) {
                   host.Log(Concat({"Błąd pobierania adresu z DynDNS ("_cp, forced, "): \"",
                                    Trim(result.error), "\""}),
                            kLogProgress);
                 }
                 done(result.ok ? result.body : std::string());
               });
}

}  // namespace tramolin
