#include "MetricsServer.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QTcpServer>

namespace service {

namespace {
const QByteArray kTextFormat = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
}  // namespace

MetricsServer::MetricsServer(Render render, QObject* parent)
    : QObject(parent), http_(std::make_unique<QHttpServer>()), render_(std::move(render)) {
    http_->route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get,
                 [this] { return QHttpServerResponse(kTextFormat, render_()); });
    http_->route(QStringLiteral("/metrics"), [] { return QHttpServerResponse(QHttpServerResponse::StatusCode::MethodNotAllowed); });
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::listen(const QString& host, quint16 port) {
    // A listener of our own: its error says why, where QHttpServer::listen() only returns 0.
    auto tcp = std::make_unique<QTcpServer>();
    if (!tcp->listen(QHostAddress(host), port)) {
        error_ = tcp->errorString();
        return false;
    }
    port_ = tcp->serverPort();
    http_->bind(tcp.release());   // the HTTP server owns it from here
    return true;
}

}  // namespace service
