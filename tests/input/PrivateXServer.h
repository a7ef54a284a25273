#pragma once

#include <QByteArray>
#include <QProcess>

/// An Xvfb of the test's own, on a display number the server picks itself, for tests that
/// take the server away. Stopped when the object goes, if not before.
class PrivateXServer {
public:
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    /// ":<n>", or empty when the server did not start.
    QByteArray displayName() const { return name; }
    /// Shuts the server down; its clients' connections break.
    void stop();

private:
    QProcess server;
    QByteArray name;
};
