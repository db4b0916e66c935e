#include "file_handover.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

namespace fernweave {

namespace {

// A message is the name's length (4 bytes, big-endian) and the name's bytes;
// the answer is one byte.
constexpr char Answer = 'K';
constexpr quint32 MaxNameBytes = 64 * 1024;

}  // namespace

std::string HandOverSocketPath(const std::string& lockFolder) { return lockFolder + "/fernweave.socket"; }

bool HandFileToRunningInstance(const std::string& lockFolder, const QString& fileName, std::string& error,
                               int timeoutMs) {
    const std::string path = HandOverSocketPath(lockFolder);
    if (path.size() > MaxSocketPathLength) {
        error = "cannot reach the running Fernweave: the socket path " + path + " is too long";
        return false;
    }
    const QByteArray name = QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    QByteArray message(4, '\0');
    qToBigEndian(static_cast<quint32>(name.size()), message.data());
    message += name;

    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    bool answered = socket.waitForConnected(static_cast<int>(deadline.remainingTime()));
    if (answered) {
        socket.write(message);
        while (answered && socket.bytesToWrite() > 0)
            answered = socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
        while (answered && socket.bytesAvailable() < 1)
            answered = socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        answered = answered && socket.read(1) == QByteArray(1, Answer);
    }
    if (!answered)
        error = "the running Fernweave did not take the file within " + std::to_string(timeoutMs / 1000) + " s (" +
                socket.errorString().toStdString() + ")";
    return answered;
}

TFileReceiver::TFileReceiver(const std::string& lockFolder, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), path_(HandOverSocketPath(lockFolder)) {
    if (lockFolder.empty() || path_.size() > MaxSocketPathLength) return;  // no safe place: no hand-over
    const QString path = QString::fromStdString(path_);
    QLocalServer::removeServer(path);  // we hold the lock: a socket there is stale
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) return;
    connect(server_, &QLocalServer::newConnection, this, &TFileReceiver::Accept);
}

TFileReceiver::~TFileReceiver() { server_->close(); }

bool TFileReceiver::Listening() const { return server_->isListening(); }

void TFileReceiver::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A sender that never finishes its message is dropped.
        QTimer::singleShot(HandOverTimeoutMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < 4) return;
            const QByteArray head = socket->peek(4);
            const quint32 size = qFromBigEndian<quint32>(head.constData());
            if (size == 0 || size > MaxNameBytes) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < 4 + static_cast<qint64>(size)) return;
            socket->read(4);
            const QString fileName = QFile::decodeName(socket->read(size));
            // Answer first: what the file starts (a question, a rendering) must not keep the sender waiting.
            socket->write(QByteArray(1, Answer));
            socket->disconnectFromServer();
            emit FileReceived(fileName);
        });
    }
}

}  // namespace fernweave
