#pragma once
// GET /metrics over HTTP (Qt HTTP Server), from this thread's event loop: each
// scrape renders the text anew; other paths are 404, other methods 405.
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QHttpServer;

namespace service {

class MetricsServer : public QObject {
public:
    using Render = std::function<QByteArray()>;
    explicit MetricsServer(Render render, QObject* parent = nullptr);
    ~MetricsServer() override;

    // Listens on `host`:`port` (0: any free port); false with errorString() when it cannot.
    bool listen(const QString& host, quint16 port);
    quint16 port() const { return port_; }
    QString errorString() const { return error_; }

private:
    std::unique_ptr<QHttpServer> http_;
    Render render_;
    quint16 port_ = 0;
    QString error_;
};

}  // namespace service
