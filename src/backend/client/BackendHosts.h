#pragma once

#include <QString>
#include <QUrl>

namespace brelta::backend {

// The hosts of the backend's four roles, each "host" or "host:port", and the scheme they share.
struct BackendHosts
{
    QString scheme;
    QString authentication;
    QString restGateway;
    QString messaging;
    QString upload;

    // The hosts compiled into this build (CMake's BRELTA_*_HOST and BRELTA_HOST_SCHEME).
    static BackendHosts compiledIn();
    // All four roles on one loopback port over http: the local backend.
    static BackendHosts loopback(quint16 port);

    // Empty when the hosts can be used; otherwise why not (a missing host, an unknown scheme, or plain
    // http to a host that is not loopback).
    QString validationError() const;
};

// Every URL the client calls, built once from the hosts.
struct BackendEndpoints
{
    explicit BackendEndpoints(const BackendHosts &hosts);

    QUrl authenticationBase; // scheme and host, no path
    QUrl passwordSignIn;
    QUrl token;
    QUrl signUp;
    QUrl getUserInfo;
    QUrl generateCoachingTips;
    QUrl preferences;
    QUrl preferenceGoals;
    QUrl preferenceLanguage;
    QUrl listActiveUserMessages;
    QUrl getUserMessage;
    QUrl reportUserMessageInteraction;
    QUrl upload;

    // Requests that never carry the bearer token: those to the authentication server, and the sign-up.
    // The authentication server is recognised by its origin; when it shares its origin with another role
    // (the local backend serves all four on one port), by its paths.
    bool isAuthenticationRequest(const QUrl &url) const;
    bool isSignUpRequest(const QUrl &url) const;
};

} // namespace brelta::backend
