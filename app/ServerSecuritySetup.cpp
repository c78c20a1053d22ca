#include "app/ServerSecuritySetup.h"

#include <unistd.h>

#include <climits>
#include <iostream>
#include <memory>

#include "opc/ServerSecurityConfig.h"
#include "opcua/CertificateStore.h"
#include "persistence/UsersFile.h"

namespace qx {
namespace {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  return gethostname(name, sizeof name - 1) == 0 && name[0] ? name : "localhost";
}

}  // namespace

bool LoadServerSecurity(const GBServerIdentity& identity, opcua::ServerSecurity& security,
                        std::string& error) {
  ServerSecuritySettings settings;
  if (!ReadServerSecuritySettings(settings, error) ||
      !ApplyEndpointSecurity(settings, identity.EndpointUrl, security, error))
    return false;
  // The certificate is needed even when only None is offered: passwords
  // are encrypted with it.
  std::shared_ptr<opcua::CertificateStore> store = opcua::CertificateStore::Open(settings.pkiFolder, error);
  if (!store ||
      !store->EnsureOwnCertificate(ServerApplicationUri(identity), identity.Description, HostName(), error))
    return false;
  security.certificateDer = store->CertificateDer();
  security.privateKeyPem = store->PrivateKeyPem();
  security.validateClientCertificate = [store](std::string_view der, std::string_view applicationUri) {
    return store->Validate(der, applicationUri);
  };
  // What is wrong with the users file is said at start-up, before the first
  // sign-in meets it.
  ReportUsersFile(settings.usersFile, std::cerr);
  // The file is read at every sign-in, so that users added or removed with
  // "qxsim user" count without a restart.
  security.authenticateUser = [path = settings.usersFile](std::string_view user, std::string_view password) {
    return AuthenticateUser(path, user, password) ? opcua::status::Good : opcua::status::BadUserAccessDenied;
  };
  return true;
}

}  // namespace qx
