#pragma once

#include <functional>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// A small HTTP/1.1 server on 127.0.0.1 for tests of real pages: each path
// answers as its route says, and every request is kept for the test to read.
class LocalHttpServer
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        // Header names in lower case.
        QHash<QByteArray, QByteArray> headers;
    };

    struct Route
    {
        enum class Behaviour
        {
            Answer,
            // Headers and the first part of the body, then the connection drops.
            DropMidBody,
            // Accepts and never answers.
            Silent,
        };
        QByteArray body;
        QByteArray contentType = "text/html; charset=utf-8";
        QList<QByteArray> extraHeaders;
        Behaviour behaviour = Behaviour::Answer;
        int status = 200;
    };

    LocalHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    bool isListening() const { return m_server.isListening(); }

    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    void route(const QByteArray& path, Route route) { m_routes.insert(path, std::move(route)); }
    void html(const QByteArray& path, const QByteArray& body)
    {
        Route page;
        page.body = body;
        route(path, std::move(page));
    }

    const QList<Request>& requests() const { return m_requests; }
    QList<Request> requestsFor(const QByteArray& path) const
    {
        QList<Request> found;
        for (const Request& request : m_requests) {
            if (request.path == path)
                found.append(request);
        }
        return found;
    }

private:
    void serve(QTcpSocket* socket)
    {
        auto* buffer = new QByteArray;
        QObject::connect(socket, &QObject::destroyed, socket, [buffer] { delete buffer; });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            // One request per read of a full header block; keep-alive reuse
            // of the connection reads the next block the same way.
            int end;
            while ((end = buffer->indexOf("\r\n\r\n")) >= 0) {
                const QByteArray head = buffer->left(end);
                buffer->remove(0, end + 4);
                answer(socket, parse(head));
            }
        });
    }

    static Request parse(const QByteArray& head)
    {
        Request request;
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        return request;
    }

    void answer(QTcpSocket* socket, const Request& request)
    {
        m_requests.append(request);
        const QByteArray path = request.path.split('?').first();
        if (!m_routes.contains(path)) {
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nContent-Type: text/plain\r\n\r\nNot found");
            return;
        }
        const Route& route = m_routes[path];
        if (route.behaviour == Route::Behaviour::Silent)
            return;
        QByteArray response = "HTTP/1.1 " + QByteArray::number(route.status)
            + " OK\r\nContent-Type: " + route.contentType + "\r\nCache-Control: no-store\r\n";
        for (const QByteArray& header : route.extraHeaders)
            response += header + "\r\n";
        if (route.behaviour == Route::Behaviour::DropMidBody) {
            // Promise far more than is sent; what arrives is enough to commit the page.
            response += "Content-Length: " + QByteArray::number(route.body.size() * 10) + "\r\n\r\n" + route.body;
            socket->write(response);
            socket->flush();
            QTimer::singleShot(1500, socket, [socket] { socket->abort(); });
            return;
        }
        response += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n\r\n" + route.body;
        socket->write(response);
    }

    QTcpServer m_server;
    QHash<QByteArray, Route> m_routes;
    QList<Request> m_requests;
};
