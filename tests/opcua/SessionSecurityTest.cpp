// Who may open a session and what a session may do: the endpoints and their
// user token policies, anonymous and user name sign-in (passwords encrypted
// for the server's certificate), and the refusal of anonymous writes.

#include <gtest/gtest.h>

#include <utility>

#include "ServerFixture.h"
#include "TestKeys.h"
#include "opcua/SessionCrypto.h"

namespace opcua {
namespace {

using test::ServerFixture;
using test::TestClient;
using testing::ClientIdentity;
using testing::ServerIdentity;

constexpr const char* kUser = "operator";
constexpr const char* kPassword = "s3cret pass";

ServerSecurity Security(bool allowAnonymous = true, bool anonymousWrites = true) {
  ServerSecurity s;
  s.certificateDer = ServerIdentity().certificateDer;
  s.privateKeyPem = ServerIdentity().privateKeyPem;
  s.offers = {{kSecurityPolicyNone, MessageSecurityMode::None},
              {kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt}};
  s.allowAnonymous = allowAnonymous;
  s.anonymousWrites = anonymousWrites;
  s.validateClientCertificate = [](std::string_view, std::string_view) { return status::Good; };
  s.authenticateUser = [](std::string_view user, std::string_view password) {
    return user == kUser && password == kPassword ? status::Good : status::BadUserAccessDenied;
  };
  return s;
}

// A user name token as a client makes it: the password and the session's
// latest nonce encrypted for `certificate` with the policy's algorithm.
ExtensionObject UserToken(const std::string& user, const std::string& password,
                          const std::string& nonce,
                          const std::string& certificate = ServerIdentity().certificateDer,
                          const SecurityPolicy& policy =
                              *FindSecurityPolicy(kSecurityPolicyBasic256Sha256)) {
  auto cert = crypto::Certificate::FromDer(certificate);
  auto secret = EncryptUserSecret(*cert, policy.asymmetricEncryption, password, nonce);
  EXPECT_TRUE(secret.has_value());
  UserNameIdentityToken token;
  token.policyId = "username";
  token.userName = user;
  token.password = ByteString(secret.value_or(""));
  token.encryptionAlgorithm = std::string(policy.asymmetricEncryptionUri);
  return Wrap(token);
}

ExtensionObject ClearTextToken(const std::string& user, const std::string& password) {
  UserNameIdentityToken token;
  token.policyId = "username";
  token.userName = user;
  token.password = ByteString(password);
  return Wrap(token);
}

class SessionSecurity : public ServerFixture {
 protected:
  explicit SessionSecurity(ServerSecurity security = Security())
      : ServerFixture({}, std::move(security)) {}

  // Connects `client` and creates (not activates) a session; returns the
  // server's nonce.
  std::string CreateSession(TestClient& client) {
    EXPECT_TRUE(client.Connect());
    CreateSessionRequest create;
    create.requestedSessionTimeout = 60'000;
    CreateSessionResponse created;
    EXPECT_EQ(client.Call(create, created), status::Good);
    client.channel.authenticationToken = created.authenticationToken;
    return created.serverNonce.data;
  }

  StatusCode Activate(TestClient& client, const ExtensionObject& token,
                      std::string* nextNonce = nullptr) {
    ActivateSessionRequest activate;
    activate.userIdentityToken = token;
    ActivateSessionResponse activated;
    StatusCode result = client.Call(activate, activated);
    if (nextNonce) *nextNonce = activated.serverNonce.data;
    return result;
  }

  StatusCode WriteA(TestClient& client, const std::string& text) {
    WriteRequest write;
    write.nodesToWrite = {{var("A"), kAttrValue, "", DataValue::Of(text)}};
    WriteResponse written;
    StatusCode result = client.Call(write, written);
    if (!result.IsGood()) return result;
    return written.results.size() == 1 ? written.results[0] : status::BadUnknownResponse;
  }

  DataValue ReadA(TestClient& client, uint32_t attributeId = kAttrValue) {
    ReadRequest read;
    read.nodesToRead = {{var("A"), attributeId, "", {}}};
    ReadResponse response;
    EXPECT_EQ(client.Call(read, response), status::Good);
    return response.results.empty() ? DataValue::Bad(status::BadUnknownResponse)
                                    : response.results[0];
  }
};

TEST_F(SessionSecurity, EndpointsOfferEveryPolicyWithTheTokensItAccepts) {
  ServerConfig config = MakeConfig({}, Security(/*allowAnonymous=*/false));
  config.security.offers = {
      {kSecurityPolicyNone, MessageSecurityMode::None},
      {kSecurityPolicyAes128Sha256RsaOaep, MessageSecurityMode::Sign},
      {kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt},
      {kSecurityPolicyAes256Sha256RsaPss, MessageSecurityMode::SignAndEncrypt}};
  ServerCore secured(config, clock);
  TestClient client(secured);
  ASSERT_TRUE(client.Connect());
  GetEndpointsResponse got;
  ASSERT_EQ(client.Call(GetEndpointsRequest{}, got), status::Good);
  ASSERT_EQ(got.endpoints.size(), 4u);
  uint8_t previousLevel = 0;
  for (size_t i = 0; i < got.endpoints.size(); ++i) {
    const EndpointDescription& e = got.endpoints[i];
    SCOPED_TRACE(e.securityPolicyUri);
    EXPECT_EQ(e.securityPolicyUri, config.security.offers[i].policyUri);
    EXPECT_EQ(e.securityMode, config.security.offers[i].mode);
    EXPECT_EQ(e.serverCertificate.data, ServerIdentity().certificateDer);
    if (i > 0) {
      EXPECT_GT(e.securityLevel, previousLevel);  // offered weakest first
    }
    previousLevel = e.securityLevel;
    // No anonymous policy; the password is encrypted on every endpoint,
    // on the one without security with the first secured policy.
    ASSERT_EQ(e.userIdentityTokens.size(), 1u);
    EXPECT_EQ(e.userIdentityTokens[0].tokenType, UserTokenType::UserName);
    EXPECT_EQ(e.userIdentityTokens[0].securityPolicyUri,
              i == 0 ? config.security.offers[1].policyUri : e.securityPolicyUri);
  }
}

TEST_F(SessionSecurity, UserNamesAreNotOfferedWhenNoPolicyCouldEncryptThePassword) {
  ServerSecurity noneOnly = Security();
  noneOnly.offers = {{kSecurityPolicyNone, MessageSecurityMode::None}};
  ServerCore core2(MakeConfig({}, noneOnly), clock);
  TestClient client(core2);
  ASSERT_TRUE(client.Connect());
  GetEndpointsResponse got;
  ASSERT_EQ(client.Call(GetEndpointsRequest{}, got), status::Good);
  ASSERT_EQ(got.endpoints.size(), 1u);
  ASSERT_EQ(got.endpoints[0].userIdentityTokens.size(), 1u);
  EXPECT_EQ(got.endpoints[0].userIdentityTokens[0].tokenType, UserTokenType::Anonymous);

  // Even a correctly encrypted password is refused there.
  CreateSessionResponse created;
  ASSERT_EQ(client.Call(CreateSessionRequest{}, created), status::Good);
  client.channel.authenticationToken = created.authenticationToken;
  ActivateSessionRequest activate;
  activate.userIdentityToken = UserToken(kUser, kPassword, created.serverNonce.data);
  ActivateSessionResponse activated;
  EXPECT_EQ(client.Call(activate, activated), status::BadIdentityTokenRejected);
}

TEST_F(SessionSecurity, SignInOutcomes) {
  const SecurityPolicy& oaepSha256 = *FindSecurityPolicy(kSecurityPolicyAes256Sha256RsaPss);
  struct Case {
    const char* name;
    std::function<ExtensionObject(const std::string& nonce)> token;
    StatusCode expected;
  };
  const std::string server = ServerIdentity().certificateDer;
  const std::vector<Case> cases = {
      {"anonymous", [](const std::string&) { return Wrap(AnonymousIdentityToken{"anonymous"}); },
       status::Good},
      {"no token at all", [](const std::string&) { return ExtensionObject{}; }, status::Good},
      {"right password", [](const std::string& n) { return UserToken(kUser, kPassword, n); },
       status::Good},
      {"wrong password", [](const std::string& n) { return UserToken(kUser, "guess", n); },
       status::BadUserAccessDenied},
      {"unknown user", [](const std::string& n) { return UserToken("root", kPassword, n); },
       status::BadUserAccessDenied},
      {"empty user name", [](const std::string& n) { return UserToken("", kPassword, n); },
       status::BadIdentityTokenInvalid},
      {"encrypted with another key",
       [](const std::string& n) {
         return UserToken(kUser, kPassword, n, ClientIdentity().certificateDer);
       },
       status::BadIdentityTokenInvalid},
      {"another algorithm than the policy's",
       [&](const std::string& n) { return UserToken(kUser, kPassword, n, server, oaepSha256); },
       status::BadIdentityTokenInvalid},
      {"nonce of another activation",
       [](const std::string& n) { return UserToken(kUser, kPassword, std::string(n.size(), 'x')); },
       status::BadIdentityTokenInvalid},
      {"secret of more blocks than a password needs",
       [](const std::string& n) { return UserToken(kUser, std::string(5000, 'p'), n); },
       status::BadIdentityTokenInvalid},
      {"secret cut short",
       [](const std::string& n) {
         UserNameIdentityToken t;
         EXPECT_EQ(Unwrap(UserToken(kUser, kPassword, n), t), status::Good);
         t.password.data.resize(t.password.data.size() - 1);
         return Wrap(t);
       },
       status::BadIdentityTokenInvalid},
      {"clear text on a channel without encryption",
       [](const std::string&) { return ClearTextToken(kUser, kPassword); },
       status::BadIdentityTokenRejected},
      {"token type not offered",
       [](const std::string&) {
         ExtensionObject x509;
         x509.typeId = NodeId(0, 327);
         x509.encoding = ExtensionObject::Encoding::Binary;
         return x509;
       },
       status::BadIdentityTokenRejected},
      {"user name type without a body",
       [](const std::string&) {
         ExtensionObject empty;
         empty.typeId = NodeId(0, UserNameIdentityToken::kTypeId);
         return empty;
       },
       status::BadIdentityTokenInvalid},
      {"undecodable user name token",
       [](const std::string&) {
         ExtensionObject broken = ClearTextToken(kUser, kPassword);
         broken.body.resize(3);
         return broken;
       },
       status::BadIdentityTokenInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestClient client(core);
    std::string nonce = CreateSession(client);
    ASSERT_EQ(nonce.size(), 32u);
    EXPECT_EQ(Activate(client, c.token(nonce)), c.expected);
    ReadRequest read;
    read.nodesToRead = {{var("A"), kAttrValue, "", {}}};
    ReadResponse response;
    EXPECT_EQ(client.Call(read, response),
              c.expected.IsGood() ? status::Good : status::BadSessionNotActivated);
  }
}

TEST_F(SessionSecurity, EveryActivationNeedsTheLatestNonce) {
  TestClient client(core);
  std::string nonce = CreateSession(client);
  // A refused attempt leaves the nonce as it was.
  ASSERT_EQ(Activate(client, UserToken(kUser, "guess", nonce)), status::BadUserAccessDenied);
  std::string next;
  ASSERT_EQ(Activate(client, UserToken(kUser, kPassword, nonce), &next), status::Good);
  ASSERT_EQ(next.size(), 32u);
  EXPECT_NE(next, nonce);
  // The token of the first activation cannot be replayed.
  EXPECT_EQ(Activate(client, UserToken(kUser, kPassword, nonce)), status::BadIdentityTokenInvalid);
  EXPECT_EQ(Activate(client, UserToken(kUser, kPassword, next)), status::Good);
}

// A server whose password check counts its calls, with clients from the
// peer addresses a test names.
class FailedSignIns : public SessionSecurity {
 protected:
  static ServerSecurity Counting(int* checks) {
    ServerSecurity s = Security();
    s.authenticateUser = [checks](std::string_view user, std::string_view password) {
      ++*checks;
      return user == kUser && password == kPassword ? status::Good : status::BadUserAccessDenied;
    };
    return s;
  }
  FailedSignIns() : SessionSecurity(Counting(&checks)) {}

  // One sign-in on a session of its own from `peer`.
  StatusCode SignIn(const std::string& user, const std::string& password,
                    const std::string& peer = "10.0.0.1") {
    TestClient client(core, peer);
    std::string nonce = CreateSession(client);
    return Activate(client, UserToken(user, password, nonce));
  }

  int checks = 0;
};

TEST_F(FailedSignIns, FailuresLockTheUserNameForAGrowingTime) {
  const SignInLimits& limits = ServerLimits{}.signIn;
  // Guesses from ever other addresses: only the user name's count grows.
  int addresses = 0;
  auto peer = [&] { return "10.0.1." + std::to_string(++addresses); };
  for (uint32_t i = 0; i < limits.freeFailures; ++i)
    EXPECT_EQ(SignIn(kUser, "guess " + std::to_string(i), peer()), status::BadUserAccessDenied);
  EXPECT_EQ(checks, static_cast<int>(limits.freeFailures));
  // Free failures lock nothing, and a success starts the count afresh.
  EXPECT_EQ(SignIn(kUser, kPassword, peer()), status::Good);
  for (uint32_t i = 0; i <= limits.freeFailures; ++i) SignIn(kUser, "guess", peer());

  // Locked: even the right password is refused, from any peer, unchecked.
  const int checked = checks;
  EXPECT_EQ(SignIn(kUser, kPassword, peer()), status::BadUserAccessDenied);
  EXPECT_EQ(checks, checked);
  clock.Advance(limits.firstLockMs);
  // The next failure locks for twice as long.
  EXPECT_EQ(SignIn(kUser, "guess", peer()), status::BadUserAccessDenied);
  clock.Advance(2 * limits.firstLockMs - 1);
  EXPECT_EQ(SignIn(kUser, kPassword, peer()), status::BadUserAccessDenied);
  clock.Advance(1);
  EXPECT_EQ(SignIn(kUser, kPassword, peer()), status::Good);
  EXPECT_EQ(checks, checked + 2);
}

TEST_F(FailedSignIns, APeerGuessingManyNamesIsLockedWhileOthersSignIn) {
  const SignInLimits& limits = ServerLimits{}.signIn;
  for (uint32_t i = 0; i <= limits.freeFailures; ++i)
    EXPECT_EQ(SignIn("user" + std::to_string(i), "guess", "10.0.0.66"), status::BadUserAccessDenied);
  EXPECT_EQ(SignIn(kUser, kPassword, "10.0.0.66"), status::BadUserAccessDenied);
  EXPECT_EQ(SignIn(kUser, kPassword, "10.0.0.7"), status::Good);
  // The lock ends, and anonymous sessions were never concerned.
  TestClient anonymous(core, "10.0.0.66");
  CreateSession(anonymous);
  EXPECT_EQ(Activate(anonymous, Wrap(AnonymousIdentityToken{"anonymous"})), status::Good);
  clock.Advance(limits.firstLockMs);
  EXPECT_EQ(SignIn(kUser, kPassword, "10.0.0.66"), status::Good);
}

// A password checker that holds every check until the test decides it.
class HeldChecks final : public PasswordChecker {
 public:
  void Submit(PasswordCheck check) override { submitted.push_back(std::move(check)); }
  std::vector<PasswordVerdict> TakeVerdicts() override { return std::exchange(verdicts, {}); }
  std::vector<PasswordCheck> submitted;
  std::vector<PasswordVerdict> verdicts;
};

TEST_F(SessionSecurity, PasswordsAreCheckedAwayFromTheServerAndAnsweredWhenDecided) {
  HeldChecks checker;
  core.SetPasswordChecker(&checker);
  TestClient first(core), second(core), bystander(core);
  std::string firstNonce = CreateSession(first);
  std::string secondNonce = CreateSession(second);
  ASSERT_TRUE(bystander.ConnectAndOpenSession());

  // No answer while the check runs, and the server goes on serving others.
  EXPECT_EQ(Activate(first, UserToken(kUser, kPassword, firstNonce)), status::BadTimeout);
  EXPECT_EQ(Activate(second, UserToken(kUser, "guess", secondNonce)), status::BadTimeout);
  EXPECT_EQ(ReadA(bystander).status, status::Good);
  // One check at a time, each with its password; the session waits for it.
  ASSERT_EQ(checker.submitted.size(), 1u);
  EXPECT_EQ(checker.submitted[0].user, kUser);
  EXPECT_EQ(checker.submitted[0].password, kPassword);
  EXPECT_EQ(Activate(first, UserToken(kUser, kPassword, firstNonce)), status::BadTooManyOperations);

  checker.verdicts.push_back({checker.submitted[0].ticket, status::Good});
  core.Tick();
  auto answers = first.Collect();
  ASSERT_EQ(answers.size(), 1u);
  ActivateSessionResponse activated;
  EXPECT_EQ(TestClient::Answer(answers[0], activated), status::Good);
  EXPECT_EQ(WriteA(first, "signed in"), status::Good);

  // The next check goes out once the first is decided.
  ASSERT_EQ(checker.submitted.size(), 2u);
  EXPECT_EQ(checker.submitted[1].password, "guess");
  checker.verdicts.push_back({checker.submitted[1].ticket, status::BadUserAccessDenied});
  core.Tick();
  answers = second.Collect();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(TestClient::Answer(answers[0], activated), status::BadUserAccessDenied);
  core.SetPasswordChecker(nullptr);
}

class NoAnonymousSessions : public SessionSecurity {
 protected:
  NoAnonymousSessions() : SessionSecurity(Security(/*allowAnonymous=*/false)) {}
};

TEST_F(NoAnonymousSessions, AnonymousTokensAreRejectedAndUsersSignIn) {
  TestClient anonymous(core);
  CreateSession(anonymous);
  EXPECT_EQ(Activate(anonymous, Wrap(AnonymousIdentityToken{"anonymous"})),
            status::BadIdentityTokenRejected);
  EXPECT_EQ(Activate(anonymous, ExtensionObject{}), status::BadIdentityTokenRejected);
  TestClient user(core);
  std::string nonce = CreateSession(user);
  EXPECT_EQ(Activate(user, UserToken(kUser, kPassword, nonce)), status::Good);
}

class NoAuthenticator : public SessionSecurity {
 protected:
  static ServerSecurity WithoutCheck() {
    ServerSecurity s = Security();
    s.authenticateUser = nullptr;
    return s;
  }
  NoAuthenticator() : SessionSecurity(WithoutCheck()) {}
};

TEST_F(NoAuthenticator, EveryUserIsRefused) {
  TestClient client(core);
  std::string nonce = CreateSession(client);
  EXPECT_EQ(Activate(client, UserToken(kUser, kPassword, nonce)), status::BadUserAccessDenied);
}

class ReadOnlyForAnonymous : public SessionSecurity {
 protected:
  ReadOnlyForAnonymous() : SessionSecurity(Security(true, /*anonymousWrites=*/false)) {}
};

TEST_F(ReadOnlyForAnonymous, AnonymousWritesAreRefusedAndChangeNothing) {
  int callbacks = 0;
  core.SetWriteCallback([&](uint32_t, const NodeId&, Variant&) {
    ++callbacks;
    return status::Good;
  });
  TestClient anonymous(core);
  CreateSession(anonymous);
  ASSERT_EQ(Activate(anonymous, Wrap(AnonymousIdentityToken{"anonymous"})), status::Good);
  EXPECT_EQ(WriteA(anonymous, "changed"), status::BadUserAccessDenied);
  EXPECT_EQ(Text(ReadA(anonymous)), "empty");
  EXPECT_EQ(callbacks, 0);
  // The session is told it may only read; the variable itself stays writable.
  EXPECT_EQ(ReadA(anonymous, kAttrUserAccessLevel).value.scalar, Variant(kAccessRead).scalar);
  EXPECT_EQ(ReadA(anonymous, kAttrAccessLevel).value.scalar,
            Variant(uint8_t{kAccessRead | kAccessWrite}).scalar);

  TestClient user(core);
  std::string nonce = CreateSession(user);
  ASSERT_EQ(Activate(user, UserToken(kUser, kPassword, nonce)), status::Good);
  EXPECT_EQ(WriteA(user, "changed"), status::Good);
  EXPECT_EQ(Text(ReadA(anonymous)), "changed");
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(ReadA(user, kAttrUserAccessLevel).value.scalar,
            Variant(uint8_t{kAccessRead | kAccessWrite}).scalar);
}

TEST_F(SessionSecurity, AnonymousWritesWhereTheConfigurationAllows) {
  TestClient anonymous(core);
  ASSERT_TRUE(anonymous.ConnectAndOpenSession());
  EXPECT_EQ(WriteA(anonymous, "changed"), status::Good);
  EXPECT_EQ(Text(ReadA(anonymous)), "changed");
}

TEST_F(SessionSecurity, SessionsAreRefusedOnAChannelSecurityNotOffered) {
  ServerSecurity securedOnly = Security();
  securedOnly.offers = {{kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt}};
  ServerCore core2(MakeConfig({}, securedOnly), clock);
  TestClient client(core2);
  ASSERT_TRUE(client.Connect());
  // Discovery still answers on the channel without security.
  GetEndpointsResponse got;
  ASSERT_EQ(client.Call(GetEndpointsRequest{}, got), status::Good);
  EXPECT_EQ(got.endpoints.size(), 1u);
  CreateSessionResponse created;
  EXPECT_EQ(client.Call(CreateSessionRequest{}, created), status::BadSecurityPolicyRejected);
}

// Sessions on channels secured with Basic256Sha256, opened by the test
// client application.
class SecuredSessions : public SessionSecurity {
 protected:
  static ServerSecurity SecuredOffers() {
    ServerSecurity s = Security();
    s.offers = {{kSecurityPolicyNone, MessageSecurityMode::None},
                {kSecurityPolicyBasic256Sha256, MessageSecurityMode::Sign},
                {kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt}};
    // The channel asks before the application URI is known, the session after.
    s.validateClientCertificate = [](std::string_view, std::string_view uri) {
      return uri.empty() || uri == "urn:test:client" ? status::Good
                                                     : status::BadCertificateUriInvalid;
    };
    return s;
  }
  SecuredSessions() : SessionSecurity(SecuredOffers()) {}

  static const SecurityPolicy& Policy() { return *FindSecurityPolicy(kSecurityPolicyBasic256Sha256); }

  void ConnectSecured(TestClient& client, MessageSecurityMode mode) {
    ClientSecurity security;
    security.policyUri = kSecurityPolicyBasic256Sha256;
    security.mode = mode;
    security.certificateDer = ClientIdentity().certificateDer;
    security.privateKeyPem = ClientIdentity().privateKeyPem;
    security.serverCertificateDer = ServerIdentity().certificateDer;
    std::string error;
    ASSERT_TRUE(client.channel.SetSecurity(security, error)) << error;
    ASSERT_TRUE(client.Connect()) << client.lastError;
  }

  static CreateSessionRequest Create() {
    CreateSessionRequest create;
    create.requestedSessionTimeout = 60'000;
    create.clientNonce = ByteString(crypto::RandomBytes(32));
    create.clientCertificate = ByteString(ClientIdentity().certificateDer);
    create.clientDescription.applicationUri = "urn:test:client";
    return create;
  }

  // The client's proof for the activation that follows `serverNonce`.
  static SignatureData ClientSignature(const std::string& serverNonce) {
    auto key = crypto::PrivateKey::FromPem(ClientIdentity().privateKeyPem);
    return SignApplication(*key, Policy(), ServerIdentity().certificateDer, serverNonce).value();
  }

  // Creates a session on `client`'s secured channel; returns the nonce.
  std::string CreateSecured(TestClient& client) {
    CreateSessionResponse created;
    EXPECT_EQ(client.Call(Create(), created), status::Good);
    client.channel.authenticationToken = created.authenticationToken;
    return created.serverNonce.data;
  }

  StatusCode ActivateSigned(TestClient& client, const std::string& nonce,
                            const ExtensionObject& token) {
    ActivateSessionRequest activate;
    activate.clientSignature = ClientSignature(nonce);
    activate.userIdentityToken = token;
    ActivateSessionResponse activated;
    return client.Call(activate, activated);
  }
};

TEST_F(SecuredSessions, BothApplicationsProveTheirKeysAndUsersSignIn) {
  for (MessageSecurityMode mode :
       {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt}) {
    SCOPED_TRACE(static_cast<int>(mode));
    TestClient client(core);
    ConnectSecured(client, mode);
    CreateSessionRequest create = Create();
    CreateSessionResponse created;
    ASSERT_EQ(client.Call(create, created), status::Good);
    EXPECT_EQ(created.serverCertificate.data, ServerIdentity().certificateDer);
    auto server = crypto::Certificate::FromDer(ServerIdentity().certificateDer);
    EXPECT_TRUE(VerifyApplication(*server, Policy(), ClientIdentity().certificateDer,
                                  create.clientNonce.data, created.serverSignature));
    client.channel.authenticationToken = created.authenticationToken;
    std::string nonce = created.serverNonce.data;
    EXPECT_EQ(ActivateSigned(client, nonce, UserToken(kUser, kPassword, nonce)), status::Good);
    EXPECT_EQ(WriteA(client, "secured"), status::Good);
  }
}

TEST_F(SecuredSessions, ForgedOrMisdirectedProofsAreRefused) {
  auto serverKey = crypto::PrivateKey::FromPem(ServerIdentity().privateKeyPem);
  struct Case {
    const char* name;
    std::function<void(CreateSessionRequest&)> create;
    std::function<void(SignatureData&, const std::string& nonce)> sign;
    StatusCode createResult;
    StatusCode activateResult;
  };
  auto keep = [](CreateSessionRequest&) {};
  auto signs = [](SignatureData&, const std::string&) {};
  const std::vector<Case> cases = {
      {"client nonce too short", [](CreateSessionRequest& r) { r.clientNonce.data.resize(16); },
       signs, status::BadNonceInvalid, status::Good},
      {"certificate other than the channel's",
       [](CreateSessionRequest& r) { r.clientCertificate.data = ServerIdentity().certificateDer; },
       signs, status::BadSecurityChecksFailed, status::Good},
      {"application URI the certificate check refuses",
       [](CreateSessionRequest& r) { r.clientDescription.applicationUri = "urn:intruder"; }, signs,
       status::BadCertificateUriInvalid, status::Good},
      {"no signature", keep, [](SignatureData& s, const std::string&) { s = SignatureData{}; },
       status::Good, status::BadApplicationSignatureInvalid},
      {"a bit flipped", keep,
       [](SignatureData& s, const std::string&) { s.signature.data[10] ^= 0x01; }, status::Good,
       status::BadApplicationSignatureInvalid},
      {"over another nonce", keep,
       [](SignatureData& s, const std::string& n) {
         s = ClientSignature(std::string(n.size(), 'x'));
       },
       status::Good, status::BadApplicationSignatureInvalid},
      {"made with the server's key", keep,
       [&](SignatureData& s, const std::string& n) {
         s = SignApplication(*serverKey, Policy(), ServerIdentity().certificateDer, n).value();
       },
       status::Good, status::BadApplicationSignatureInvalid},
      {"another algorithm named", keep,
       [](SignatureData& s, const std::string&) {
         s.algorithm = std::string(
             FindSecurityPolicy(kSecurityPolicyAes256Sha256RsaPss)->asymmetricSignatureUri);
       },
       status::Good, status::BadApplicationSignatureInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestClient client(core);
    ConnectSecured(client, MessageSecurityMode::SignAndEncrypt);
    CreateSessionRequest create = Create();
    c.create(create);
    CreateSessionResponse created;
    ASSERT_EQ(client.Call(create, created), c.createResult);
    if (!c.createResult.IsGood()) continue;
    client.channel.authenticationToken = created.authenticationToken;
    std::string nonce = created.serverNonce.data;
    ActivateSessionRequest activate;
    activate.clientSignature = ClientSignature(nonce);
    c.sign(activate.clientSignature, nonce);
    activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
    ActivateSessionResponse activated;
    EXPECT_EQ(client.Call(activate, activated), c.activateResult);
    // The right proof still opens the session.
    EXPECT_EQ(ActivateSigned(client, nonce, Wrap(AnonymousIdentityToken{"anonymous"})),
              status::Good);
  }
}

TEST_F(SecuredSessions, ASessionCertificateFollowedByItsChainCountsByItsLeaf) {
  // The server's certificate stands for the issuer of the client's.
  const std::string chain = ClientIdentity().certificateDer + ServerIdentity().certificateDer;
  struct Case {
    const char* what;
    std::string certificate;
    StatusCode expected;
  } cases[] = {
      {"the channel's certificate and its chain", chain, status::Good},
      {"another leaf with the same chain",
       ServerIdentity().certificateDer + ServerIdentity().certificateDer,
       status::BadSecurityChecksFailed},
      {"the chain followed by bytes that are no certificate", chain + "junk",
       status::BadSecurityChecksFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestClient client(core);
    ConnectSecured(client, MessageSecurityMode::SignAndEncrypt);
    CreateSessionRequest create = Create();
    create.clientCertificate = ByteString(c.certificate);
    CreateSessionResponse created;
    ASSERT_EQ(client.Call(create, created), c.expected);
    if (!c.expected.IsGood()) continue;
    // The server signed what the client sent, chain included.
    auto server = crypto::Certificate::FromDer(ServerIdentity().certificateDer);
    EXPECT_TRUE(VerifyApplication(*server, Policy(), c.certificate, create.clientNonce.data,
                                  created.serverSignature));
    client.channel.authenticationToken = created.authenticationToken;
    const std::string nonce = created.serverNonce.data;
    EXPECT_EQ(ActivateSigned(client, nonce, UserToken(kUser, kPassword, nonce)), status::Good);
  }
}

TEST_F(SecuredSessions, ClearTextPasswordsOnlyInsideEncryption) {
  for (auto [mode, expected] :
       {std::pair{MessageSecurityMode::SignAndEncrypt, status::Good},
        std::pair{MessageSecurityMode::Sign, status::BadIdentityTokenRejected}}) {
    SCOPED_TRACE(static_cast<int>(mode));
    TestClient client(core);
    ConnectSecured(client, mode);
    std::string nonce = CreateSecured(client);
    EXPECT_EQ(ActivateSigned(client, nonce, ClearTextToken(kUser, kPassword)), expected);
  }
}

TEST_F(SecuredSessions, SessionsMoveOnlyToChannelsOfTheSameSecurity) {
  TestClient first(core);
  ConnectSecured(first, MessageSecurityMode::SignAndEncrypt);
  std::string nonce = CreateSecured(first);
  std::string next;
  ActivateSessionRequest activate;
  activate.clientSignature = ClientSignature(nonce);
  activate.userIdentityToken = UserToken(kUser, kPassword, nonce);
  ActivateSessionResponse activated;
  ASSERT_EQ(first.Call(activate, activated), status::Good);
  next = activated.serverNonce.data;

  TestClient plain(core);
  ASSERT_TRUE(plain.Connect());
  plain.channel.authenticationToken = first.channel.authenticationToken;
  EXPECT_EQ(Activate(plain, UserToken(kUser, kPassword, next)), status::BadSecurityChecksFailed);

  TestClient second(core);
  ConnectSecured(second, MessageSecurityMode::SignAndEncrypt);
  second.channel.authenticationToken = first.channel.authenticationToken;
  EXPECT_EQ(ActivateSigned(second, next, UserToken(kUser, kPassword, next)), status::Good);
  EXPECT_EQ(WriteA(second, "moved"), status::Good);
}

}  // namespace
}  // namespace opcua
