// Handing files from a second start to the running instance, over a local
// socket beside the single-instance lock (so in the same safe per-user folder).
// The instance that holds the lock listens; a second start connects once per
// file, sends the file's absolute name and waits for the answer.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <string>

class QLocalServer;

namespace fernweave {

// The socket's path in the lock's folder.
std::string HandOverSocketPath(const std::string& lockFolder);
// A local socket's path holds at most this many bytes (sun_path less its terminator).
constexpr std::size_t MaxSocketPathLength = 107;
constexpr int HandOverTimeoutMs = 5000;

// Sends the files (made absolute here), in order, to the instance listening in
// `lockFolder`, with the desktop's activation token when there is one. Each
// file has `timeoutMs`: a socket not there yet or refusing is tried again
// until then, since the instance may still be starting. True when every file
// was taken; otherwise false with one line in `error` saying what happened.
bool HandFilesToRunningInstance(const std::string& lockFolder, const QStringList& fileNames,
                                const QString& activationToken, std::string& error,
                                int timeoutMs = HandOverTimeoutMs);

// The running instance's side. Only the lock holder makes one, as soon as it
// holds the lock: it removes a socket left by an instance that ended without
// cleaning up, then listens. It holds at most a few connections at a time,
// each for at most half a second, so a flood of idle connections can neither use up
// the descriptors nor make the server give up its socket.
class TFileReceiver : public QObject {
    Q_OBJECT
public:
    explicit TFileReceiver(const std::string& lockFolder, QObject* parent = nullptr);
    ~TFileReceiver() override;
    // False when the socket could not be made; second starts then get no answer.
    bool Listening() const;
    // Connections accepted and not yet closed; all accepted so far.
    int OpenConnections() const { return open_; }
    int AcceptedConnections() const { return accepted_; }

    // A second start sends its message as soon as it is connected.
    static constexpr int MaxOpenConnections = 16;
    static constexpr int ReadDeadlineMs = 500;

signals:
    // The token is empty when the second start had none.
    void FileReceived(const QString& fileName, const QString& activationToken);

private:
    void Accept();
    QLocalServer* server_;
    std::string path_;
    int open_ = 0;
    int accepted_ = 0;
};

}  // namespace fernweave
