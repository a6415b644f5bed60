#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <QTimer>
#include <memory>
#include <unistd.h>

namespace taktwerk::ui {

namespace {
constexpr int kConnectTimeoutMs = 500;
constexpr int kWriteTimeoutMs = 500;
// A second copy writes its request at once; a connection still silent after this long is not
// one and must not hold a socket for the rest of the session.
constexpr int kRequestTimeoutMs = 5000;
constexpr char kEnd = '\0';
const QByteArray kOpen = QByteArrayLiteral("open ");
const QByteArray kRaise = QByteArrayLiteral("raise");
}  // namespace

SingleInstance::SingleInstance(QString key, QObject* parent) : QObject(parent), key_(std::move(key))
{
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            struct Pending {
                QByteArray bytes;
                bool done = false;
            };
            const auto pending = std::make_shared<Pending>();
            const auto take = [this, socket, pending] {
                if (pending->done)
                    return;
                pending->bytes += socket->readAll();
                if (const qsizetype end = pending->bytes.indexOf(kEnd); end >= 0) {
                    pending->done = true;
                    answer(pending->bytes.left(end));
                    socket->disconnectFromServer();
                } else if (pending->bytes.size() > kMaxRequestBytes) {
                    pending->done = true;
                    socket->abort();
                }
            };
            connect(socket, &QLocalSocket::readyRead, this, take);
            connect(socket, &QLocalSocket::disconnected, this, [this, socket, pending] {
                if (!pending->done) {
                    pending->done = true;
                    emit activationRequested();
                }
                socket->deleteLater();
            });
            QTimer::singleShot(kRequestTimeoutMs, socket, [socket, pending] {
                pending->done = true;
                socket->abort();
            });
            take();  // what arrived before the connection was taken
        }
    });
}

void SingleInstance::answer(const QByteArray& request)
{
    if (request.startsWith(kOpen)) {
        const QByteArray path = request.mid(kOpen.size());
        // Bytes as the file system has them: a name need not be valid UTF-8.
        const std::filesystem::path file(path.toStdString());
        if (file.is_absolute()) {
            emit openRequested(file);
            return;
        }
    }
    // "raise", and anything this copy does not understand from a newer or broken one: the
    // user started the program again, so the window comes to the front at least.
    emit activationRequested();
}

QString SingleInstance::keyFor(const QString& appDir)
{
    // Socket names must be short: the folder goes in as a hash.
    const QByteArray folder =
        QCryptographicHash::hash(appDir.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("taktwerk-%1-%2").arg(getuid()).arg(QString::fromLatin1(folder));
}

bool SingleInstance::otherRunning(const std::optional<std::filesystem::path>& rhythmFile)
{
    QLocalSocket probe;
    probe.connectToServer(key_);
    if (probe.waitForConnected(kConnectTimeoutMs)) {
        QByteArray request = kRaise;
        if (rhythmFile) {
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(*rhythmFile, error);
            request = kOpen + QByteArray::fromStdString((error ? *rhythmFile : absolute).string());
        }
        request.append(kEnd);
        probe.write(request);
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
