#pragma once
// The test-automation interface: a local socket that answers one JSON request per
// line, reading and driving the console's windows by their object names.
#include <QObject>
#include <QJsonObject>

class QLocalServer;
class QLocalSocket;

class AutomationServer : public QObject {
    Q_OBJECT
public:
    explicit AutomationServer(QObject* parent = nullptr);
    // Listens on `path` (owner-only permissions); false when that fails.
    bool listen(const QString& path);
    // Handles one request object and returns its answer (exposed for unit tests).
    QJsonObject handle(const QJsonObject& request);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    QLocalServer* server_;
};

// Starts the interface when HT6630_AUTOMATION names a socket; does nothing otherwise.
void StartAutomationFromEnvironment(QObject* parent);
