#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <unistd.h>

namespace taktwerk::ui {

namespace {
constexpr int kConnectTimeoutMs = 500;
constexpr int kWriteTimeoutMs = 500;
}  // namespace

SingleInstance::SingleInstance(QString key, QObject* parent) : QObject(parent), key_(std::move(key))
{
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit activationRequested();
        }
    });
}

QString SingleInstance::keyFor(const QString& appDir)
{
    // Socket names must be short: the folder goes in as a hash.
    const QByteArray folder =
        QCryptographicHash::hash(appDir.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("taktwerk-%1-%2").arg(getuid()).arg(QString::fromLatin1(folder));
}

bool SingleInstance::otherRunning()
{
    QLocalSocket probe;
    probe.connectToServer(key_);
    if (probe.waitForConnected(kConnectTimeoutMs)) {
        probe.write("raise\n");
        probe.waitForBytesWritten(kWriteTimeoutMs);
        probe.disconnectFromServer();
        return true;
    }
    // Nobody answers: a socket file left by a crashed copy must not keep us from listening.
    QLocalServer::removeServer(key_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    // A copy that cannot listen still runs; only a later copy would then start a second window.
    (void)server_.listen(key_);
    return false;
}

}  // namespace taktwerk::ui
