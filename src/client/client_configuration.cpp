#include "client/client_configuration.h"

namespace tramolin {

ClientSettings ClientSettingsFrom(const TConfig& config, const RunFlags& flags) {
  ClientSettings settings;
  settings.addresses = {config.ClientHost, config.ClientPort, config.ClientHost2,
                        config.ClientPort2, config.DynDNSServer};
  settings.interval_minutes = config.Interwal;
  settings.send_new_data_first = config.SendNewDataFirst;
  settings.on_demand = flags.OnDemand;
  settings.technician = flags.TechnicianMode;
  settings.auto_start_time = config.AutoNaZadanie;
  settings.access_key = config.ClientAccessKey;
  settings.customer_number = config.CustomerNumber;
  settings.tls = config.ClientTls;
  settings.tls_fingerprint = config.ClientTlsFingerprint;
  return settings;
}

ClientCredentials ClientCredentialsFrom(const TConfig& config, const RunFlags& flags,
                                        const DatabaseIdentity& identity,
                                        const std::string& program_version) {
  ClientCredentials credentials;
  credentials.copy_number = identity.number;
  credentials.database_id = identity.id;
  credentials.access_key = config.ClientAccessKey;
  credentials.database_version = identity.version;
  credentials.program_version = program_version;
  credentials.technician = flags.TechnicianMode;
  credentials.send_new_data_first = config.SendNewDataFirst;
  return credentials;
}

AddressServiceSettings PublishingSettingsFrom(const TConfig& config) {
  AddressServiceSettings settings;
  settings.server_url = config.DynDNSServer;
  settings.customer_number = config.CustomerNumber;
  settings.remote_port = config.DynDNSRemotePort;
  settings.remote_addr = config.DynDNSRemoteAddr;
  settings.remote_host = config.DynDNSRemoteHost;
  return settings;
}

}  // namespace tramolin
