#include "app/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace vorlano {
namespace {

// Asks the running instance to come forward; false when none answers.
bool SignalRunning(const QString& key) {
    QLocalSocket socket;
    socket.connectToServer(key);
    if (!socket.waitForConnected(1000)) return false;
    socket.write("restore\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

}  // namespace

TSingleInstance::TSingleInstance(const QString& executablePath) : FKey(KeyFor(executablePath)) {}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::KeyFor(const QString& executablePath) {
    QFileInfo info(executablePath);
    const QString canonical =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("vorlano-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

bool TSingleInstance::Claim() {
    FLock = std::make_unique<QLockFile>(QDir::temp().filePath(FKey + ".lock"));
    FLock->setStaleLockTime(0);
    if (!FLock->tryLock(0)) {
        // Another live process holds the lock: hand over and end. When it
        // does not answer (it is still starting or dying) we end as well,
        // silently, as a second start that finds no window does.
        SignalRunning(FKey);
        return false;
    }
    FServer = std::make_unique<QLocalServer>();
    QLocalServer::removeServer(FKey);  // a socket left by a crashed instance
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    FServer->listen(FKey);
    connect(FServer.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = FServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().startsWith("restore")) emit restoreRequested();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

}  // namespace vorlano
