#include "file_handover.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>

namespace fernweave {

namespace {

// A message is the payload's length (4 bytes, big-endian) and the payload: the
// name's bytes, then, when there is one, a zero byte and the activation token.
// The answer is one byte.
constexpr char Answer = 'K';
constexpr quint32 MaxNameBytes = 64 * 1024;
constexpr int RetryPauseMs = 50;

QByteArray Message(const QString& fileName, const QString& activationToken) {
    QByteArray payload = QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    if (!activationToken.isEmpty()) payload += '\0' + activationToken.toUtf8();
    QByteArray message(4, '\0');
    qToBigEndian(static_cast<quint32>(payload.size()), message.data());
    return message + payload;
}

// One file; false with the reason in `error`. The instance may hold the lock
// and not listen yet, or drop the connection while it is flooded: both are
// tried again until the deadline.
bool HandOne(const QString& path, const QByteArray& message, int timeoutMs, std::string& error) {
    const QDeadlineTimer deadline(timeoutMs);
    const std::string seconds = std::to_string(timeoutMs / 1000) + " s";
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            error = "a Fernweave holds the lock, but nothing accepted a connection at " + path.toStdString() +
                    " within " + seconds + " (" + socket.errorString().toStdString() + ")";
        } else {
            socket.write(message);
            bool answered = true;
            while (answered && socket.bytesToWrite() > 0)
                answered = socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
            while (answered && socket.bytesAvailable() < 1)
                answered = socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
            if (answered && socket.read(1) == QByteArray(1, Answer)) return true;
            error = "the running Fernweave accepted the connection but did not take the file within " + seconds +
                    " (" + socket.errorString().toStdString() + ")";
        }
        socket.abort();
        if (deadline.hasExpired() || deadline.remainingTime() < RetryPauseMs) return false;
        QThread::msleep(RetryPauseMs);
    }
}

}  // namespace

std::string HandOverSocketPath(const std::string& lockFolder) { return lockFolder + "/fernweave.socket"; }

bool HandFilesToRunningInstance(const std::string& lockFolder, const QStringList& fileNames,
                                const QString& activationToken, std::string& error, int timeoutMs) {
    const std::string path = HandOverSocketPath(lockFolder);
    if (path.size() > MaxSocketPathLength) {
        error = "cannot reach the running Fernweave: the socket path " + path + " is too long";
        return false;
    }
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        // The token raises the window once; the later files need none.
        if (!HandOne(QString::fromStdString(path), Message(fileNames[i], i == 0 ? activationToken : QString()),
                     timeoutMs, error)) {
            if (fileNames.size() > 1)
                error = std::to_string(i) + " of " + std::to_string(fileNames.size()) + " files handed over; " + error;
            return false;
        }
    }
    return true;
}

TFileReceiver::TFileReceiver(const std::string& lockFolder, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), path_(HandOverSocketPath(lockFolder)) {
    if (lockFolder.empty() || path_.size() > MaxSocketPathLength) return;  // no safe place: no hand-over
    const QString path = QString::fromStdString(path_);
    QLocalServer::removeServer(path);  // we hold the lock: a socket there is stale
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Qt stops accepting while this many wait to be taken; the rest wait in the
    // system's queue, and new senders try again.
    server_->setMaxPendingConnections(MaxOpenConnections);
    if (!server_->listen(path)) return;
    connect(server_, &QLocalServer::newConnection, this, &TFileReceiver::Accept);
}

TFileReceiver::~TFileReceiver() { server_->close(); }

bool TFileReceiver::Listening() const { return server_->isListening(); }

void TFileReceiver::Accept() {
    while (open_ < MaxOpenConnections) {
        QLocalSocket* socket = server_->nextPendingConnection();
        if (!socket) return;
        ++open_;
        ++accepted_;
        connect(socket, &QObject::destroyed, this, [this] {
            --open_;
            QTimer::singleShot(0, this, &TFileReceiver::Accept);  // those that waited meanwhile
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A sender that does not finish its message in time is dropped.
        QTimer::singleShot(ReadDeadlineMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        const auto readMessage = [this, socket] {
            if (socket->bytesAvailable() < 4) return;
            const QByteArray head = socket->peek(4);
            const quint32 size = qFromBigEndian<quint32>(head.constData());
            if (size == 0 || size > MaxNameBytes) {
                socket->abort();
                socket->deleteLater();
                return;
            }
            if (socket->bytesAvailable() < 4 + static_cast<qint64>(size)) return;
            socket->read(4);
            const QByteArray payload = socket->read(size);
            const qsizetype end = payload.indexOf('\0');
            const QString fileName = QFile::decodeName(end < 0 ? payload : payload.left(end));
            const QString token = end < 0 ? QString() : QString::fromUtf8(payload.mid(end + 1));
            // Answer first: what the file starts (a question, a rendering) must not keep the sender waiting.
            socket->write(QByteArray(1, Answer));
            socket->disconnectFromServer();
            emit FileReceived(fileName, token);
        };
        connect(socket, &QLocalSocket::readyRead, this, readMessage);
        // A message that came while the connection waited among the pending
        // ones may be read already: its readyRead went to nobody.
        QTimer::singleShot(0, socket, readMessage);
    }
}

}  // namespace fernweave
