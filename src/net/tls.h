// TLS for the replication link, opt-in at both ends: the server's configuration from its
// certificate and key files, the client's, and the check of a pinned certificate. TLS 1.2 or newer
// only; trust in a server comes from its pinned SHA-256 fingerprint, or (with none pinned) from a
// system-trusted authority for the configured host name.
#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <optional>
#include <string>
#include <string_view>

namespace tramolin {

// The configuration of a listening socket from PEM files (an RSA or EC key, without a
// passphrase); nullopt with the reason in `error` when either file cannot be used.
std::optional<QSslConfiguration> ServerTlsConfiguration(const std::string& certificate_file,
                                                        const std::string& key_file,
                                                        std::string& error);

// The configuration of a client socket: TLS 1.2 or newer, the peer verified.
QSslConfiguration ClientTlsConfiguration();

// "AB:CD:..." (upper-case hexadecimal, 32 bytes), as the certificate script prints it.
std::string CertificateFingerprint(const QSslCertificate& certificate);
// The fingerprint of the first certificate of a PEM file; nullopt when it cannot be read.
std::optional<std::string> CertificateFileFingerprint(const std::string& file);
// Compares fingerprints ignoring case, ":" and blanks.
bool SameFingerprint(std::string_view a, std::string_view b);

// With a fingerprint pinned, the authority and the host name no longer decide: these errors are
// forgiven for the pinned certificate; any other (an expired certificate, say) still refuses it.
bool ForgivenWhenPinned(const QSslError& error);

// The errors as one line for the log.
std::string ErrorsText(const QList<QSslError>& errors);

}  // namespace tramolin
