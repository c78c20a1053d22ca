// Signing in to a session: the identity tokens, the limits on failed
// sign-ins and the password checks, which a PasswordChecker may make away
// from the server thread.

#include "opcua/ServerCoreInternal.h"
#include "opcua/SessionCrypto.h"

namespace opcua {

namespace {

// The password of a user name token: decrypted with the server's key when
// the token is encrypted, taken as it is only on an encrypted channel.
StatusCode TokenPassword(const UserNameIdentityToken& token, const SecurityPolicy* tokenPolicy,
                         const crypto::PrivateKey* key, MessageSecurityMode channelMode,
                         std::string_view serverNonce, std::string& password) {
  if (token.encryptionAlgorithm.empty()) {
    if (channelMode != MessageSecurityMode::SignAndEncrypt) return status::BadIdentityTokenRejected;
    password = token.password.data;
    return status::Good;
  }
  if (!tokenPolicy || !key) return status::BadIdentityTokenRejected;
  if (token.encryptionAlgorithm != tokenPolicy->asymmetricEncryptionUri)
    return status::BadIdentityTokenInvalid;
  return DecryptUserSecret(*key, tokenPolicy->asymmetricEncryption, token.password.data,
                           serverNonce, password);
}

}  // namespace

ServerCore::SignIn ServerCore::Identify(const SecurityOffer& offer, std::string_view serverNonce,
                                        const ExtensionObject& token, std::string_view peer) {
  const ServerSecurity& security = config_.security;
  auto Refused = [](StatusCode code) {
    SignIn out;
    out.result = code;
    return out;
  };
  // No token at all counts as anonymous: some clients send none.
  bool anonymous = (token.encoding == ExtensionObject::Encoding::None && token.typeId.IsNull()) ||
                   token.typeId == NodeId(0, AnonymousIdentityToken::kTypeId);
  if (anonymous) {
    if (!security.allowAnonymous) return Refused(status::BadIdentityTokenRejected);
    SignIn out;
    out.identity = "anonymous";
    return out;
  }
  std::string tokenPolicyUri = UserNameTokenPolicyUri(security, offer);
  if (!(token.typeId == NodeId(0, UserNameIdentityToken::kTypeId)) || tokenPolicyUri.empty())
    return Refused(status::BadIdentityTokenRejected);
  UserNameIdentityToken userName;
  if (!Unwrap(token, userName).IsGood() || userName.userName.empty())
    return Refused(status::BadIdentityTokenInvalid);
  if (!security.authenticateUser) return Refused(status::BadUserAccessDenied);
  // A locked name or peer is refused before the password costs anything.
  if (!signInLimiter_.Allowed(userName.userName, peer, clock_.MonotonicMs()))
    return Refused(status::BadUserAccessDenied);
  SignIn out;
  out.result = TokenPassword(userName, FindSecurityPolicy(tokenPolicyUri), ServerKey(), offer.mode,
                             serverNonce, out.password);
  if (!out.result.IsGood()) return out;
  out.needsPasswordCheck = true;
  out.user = std::move(userName.userName);
  out.identity = "user:" + out.user;
  return out;
}

void ServerCore::SetPasswordChecker(PasswordChecker* checker) {
  // A check that was out with the previous checker goes to this one at the
  // next Tick(), on the server thread rather than the caller's.
  passwordChecker_ = checker;
  signInOut_ = false;
}

void ServerCore::CheckPassword(PendingSignIn pending) {
  signInsWaiting_.push_back(std::move(pending));
  SubmitNextPasswordCheck();
}

void ServerCore::SubmitNextPasswordCheck() {
  // One check at a time: each is decided with the verdicts of all before it,
  // so that clients signing in at once cannot guess past the limits.
  while (!signInOut_ && !signInsWaiting_.empty()) {
    const PendingSignIn& next = signInsWaiting_.front();
    if (!FindConnection(next.connection)) {
      // Nobody would hear the verdict.
      if (Session* s = FindSession(next.authenticationToken)) s->signInPending = false;
      signInsWaiting_.pop_front();
      continue;
    }
    if (!signInLimiter_.Allowed(next.user, next.peer, clock_.MonotonicMs())) {
      PendingSignIn refused = std::move(signInsWaiting_.front());
      signInsWaiting_.pop_front();
      FinishSignIn(refused, status::BadUserAccessDenied, false);
      continue;
    }
    if (passwordChecker_) {
      signInOut_ = true;
      passwordChecker_->Submit({next.ticket, next.user, next.password});
      return;
    }
    PendingSignIn checked = std::move(signInsWaiting_.front());
    signInsWaiting_.pop_front();
    FinishSignIn(checked, config_.security.authenticateUser(checked.user, checked.password), true);
  }
}

void ServerCore::CollectPasswordVerdicts() {
  std::vector<PasswordVerdict> verdicts;
  if (passwordChecker_) verdicts = passwordChecker_->TakeVerdicts();
  for (const PasswordVerdict& verdict : verdicts) {
    if (!signInOut_ || signInsWaiting_.empty() || signInsWaiting_.front().ticket != verdict.ticket)
      continue;  // a check handed out before the checker changed
    PendingSignIn checked = std::move(signInsWaiting_.front());
    signInsWaiting_.pop_front();
    signInOut_ = false;
    FinishSignIn(checked, verdict.result, true);
  }
  SubmitNextPasswordCheck();
}

void ServerCore::FinishSignIn(const PendingSignIn& pending, StatusCode verdict, bool checked) {
  if (checked) {
    if (verdict.IsGood())
      signInLimiter_.Succeeded(pending.user);
    else
      signInLimiter_.Failed(pending.user, pending.peer, clock_.MonotonicMs());
  }
  Session* s = FindSession(pending.authenticationToken);
  if (s) s->signInPending = false;
  Connection* c = FindConnection(pending.connection);
  if (!c) return;  // nobody left to answer
  if (!s) return SendFault(*c, pending.requestId, pending.requestHandle, status::BadSessionIdInvalid);
  if (!verdict.IsGood())
    return SendFault(*c, pending.requestId, pending.requestHandle, status::BadUserAccessDenied);
  ActivateSessionResponse resp;
  CompleteActivation(*s, *c, "user:" + pending.user, true, pending.localeIds, resp);
  SendResponse(*c, pending.requestId, resp, pending.requestHandle);
}

void ServerCore::DropSignInsOf(ConnectionId connection) {
  // The one out with the checker stays until its verdict, which then finds
  // no connection to answer.
  auto first = signInsWaiting_.begin() + (signInOut_ && !signInsWaiting_.empty() ? 1 : 0);
  for (auto it = first; it != signInsWaiting_.end();) {
    if (it->connection != connection) {
      ++it;
      continue;
    }
    if (Session* s = FindSession(it->authenticationToken)) s->signInPending = false;
    it = signInsWaiting_.erase(it);
  }
}

}  // namespace opcua
