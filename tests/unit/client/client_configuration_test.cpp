// What the configuration file and the command line give the client and the address publishing.
#include "client/client_configuration.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(ClientConfigurationTest, EachAddressKeepsItsOwnPortAndTheIdentityGoesIntoTheCredentials) {
  TConfig config;
  config.ClientHost = "primary";
  config.ClientPort = 1001;
  config.ClientHost2 = "alternative";
  config.ClientPort2 = 1002;
  config.DynDNSServer = "https://adresy.example";
  config.ClientAccessKey = "key";
  RunFlags flags;
  flags.TechnicianMode = true;
  const ClientSettings settings = ClientSettingsFrom(config, flags);
  EXPECT_EQ(settings.addresses.host, "primary");
  EXPECT_EQ(settings.addresses.port, 1001);
  EXPECT_EQ(settings.addresses.host2, "alternative");
  EXPECT_EQ(settings.addresses.port2, 1002);
  EXPECT_EQ(settings.addresses.address_service, "https://adresy.example");
  EXPECT_TRUE(settings.technician);
  const ClientCredentials credentials =
      ClientCredentialsFrom(config, flags, DatabaseIdentity{7, 2, "3.1", 5}, "2.0.1");
  EXPECT_EQ(credentials.copy_number, 5);
  EXPECT_EQ(credentials.database_id, 7);
  EXPECT_EQ(credentials.database_version, "3.1");
  EXPECT_EQ(credentials.program_version, "2.0.1");
  EXPECT_EQ(credentials.access_key, "key");
}

}  // namespace
}  // namespace tramolin
