// Handing a file from a second start to the running instance, over a local
// socket beside the single-instance lock (so in the same safe per-user folder).
// The instance that holds the lock listens; a second start connects, sends the
// file's absolute name and waits for the answer.
#pragma once

#include <QObject>
#include <QString>
#include <string>

class QLocalServer;

namespace fernweave {

// The socket's path in the lock's folder.
std::string HandOverSocketPath(const std::string& lockFolder);
// A local socket's path holds at most this many bytes (sun_path less its terminator).
constexpr std::size_t MaxSocketPathLength = 107;
constexpr int HandOverTimeoutMs = 5000;

// Sends `fileName` (made absolute here) to the instance listening in
// `lockFolder`. True when it answered within `timeoutMs`; otherwise false with
// one line in `error`.
bool HandFileToRunningInstance(const std::string& lockFolder, const QString& fileName, std::string& error,
                               int timeoutMs = HandOverTimeoutMs);

// The running instance's side. Only the lock holder makes one: it removes a
// socket left by an instance that ended without cleaning up, then listens.
class TFileReceiver : public QObject {
    Q_OBJECT
public:
    explicit TFileReceiver(const std::string& lockFolder, QObject* parent = nullptr);
    ~TFileReceiver() override;
    // False when the socket could not be made; second starts then get no answer.
    bool Listening() const;

signals:
    void FileReceived(const QString& fileName);

private:
    void Accept();
    QLocalServer* server_;
    std::string path_;
};

}  // namespace fernweave
