#include "net/tls.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSslKey>
#include <cctype>

#include "util/cp1250.h"

namespace tramolin {
namespace {

std::optional<QSslKey> ReadKey(const QByteArray& pem) {
  for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec}) {
    QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
    if (!key.isNull()) return key;
  }
  return std::nullopt;
}

std::optional<QByteArray> ReadFile(const std::string& name) {
  QFile file(QString::fromStdString(name));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

std::string Normalised(std::string_view fingerprint) {
  std::string text;
  for (const char c : fingerprint) {
    if (c == ':' || std::isspace(static_cast<unsigned char>(c)) != 0) continue;
    text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

}  // namespace

std::optional<QSslConfiguration> ServerTlsConfiguration(const std::string& certificate_file,
                                                        const std::string& key_file,
                                                        std::string& error) {
  const std::optional<QByteArray> certificate_pem = ReadFile(certificate_file);
  const QList<QSslCertificate> certificates =
      certificate_pem ? QSslCertificate::fromData(*certificate_pem, QSsl::Pem)
                      : QList<QSslCertificate>();
  if (certificates.isEmpty()) {
    error = "nie można odczytać certyfikatu "_cp + certificate_file;
    return std::nullopt;
  }
  const std::optional<QByteArray> key_pem = ReadFile(key_file);
  const std::optional<QSslKey> key = key_pem ? ReadKey(*key_pem) : std::nullopt;
  if (!key) {
    error = "nie można odczytać klucza "_cp + key_file;
    return std::nullopt;
  }
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.setProtocol(QSsl::TlsV1_2OrLater);
  configuration.setLocalCertificateChain(certificates);
  configuration.setPrivateKey(*key);
  configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
  return configuration;
}

QSslConfiguration ClientTlsConfiguration() {
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.setProtocol(QSsl::TlsV1_2OrLater);
  configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
  return configuration;
}

std::string CertificateFingerprint(const QSslCertificate& certificate) {
  return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper().toStdString();
}

std::optional<std::string> CertificateFileFingerprint(const std::string& file) {
  const std::optional<QByteArray> pem = ReadFile(file);
  const QList<QSslCertificate> certificates =
      pem ? QSslCertificate::fromData(*pem, QSsl::Pem) : QList<QSslCertificate>();
  if (certificates.isEmpty()) return std::nullopt;
  return CertificateFingerprint(certificates.front());
}

bool SameFingerprint(std::string_view a, std::string_view b) {
  const std::string left = Normalised(a);
  return !left.empty() && left == Normalised(b);
}

bool ForgivenWhenPinned(const QSslError& error) {
  switch (error.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::HostNameMismatch:
      return true;
    default:
      return false;
  }
}

std::string ErrorsText(const QList<QSslError>& errors) {
  std::string text;
  for (const QSslError& error : errors) {
    if (!text.empty()) text += "; ";
    text += error.errorString().toStdString();
  }
  return text;
}

}  // namespace tramolin
