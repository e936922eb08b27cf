// A one-request-at-a-time HTTP server on 127.0.0.1 for upload tests: it keeps
// the last request (line and body) and answers with the status line it was
// given, or holds the answer back until release() when none is given.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>

class LoopbackHttpServer : public QObject
{
public:
    explicit LoopbackHttpServer(QByteArray statusLine = "200 OK") : m_status(std::move(statusLine))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            ++m_connections;
            QTcpSocket *socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()) + '/'; }
    bool complete() const { return m_complete; }
    int connections() const { return m_connections; }
    QByteArray requestLine() const { return m_head.left(m_head.indexOf("\r\n")); }
    QByteArray body() const { return m_body; }
    // Sends the held-back answer.
    void release(const QByteArray &statusLine)
    {
        m_status = statusLine;
        if (m_socket && m_complete)
            answer();
    }

private:
    void read(QTcpSocket *socket)
    {
        m_socket = socket;
        m_buffer += socket->readAll();
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_head = m_buffer.left(end);
        const qsizetype at = m_head.toLower().indexOf("content-length:");
        const qsizetype length = at < 0 ? 0 : m_head.mid(at + 15, m_head.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        if (m_buffer.size() - end - 4 < length)
            return;
        m_body = m_buffer.mid(end + 4, length);
        m_complete = true;
        if (!m_status.isEmpty())
            answer();
    }
    void answer()
    {
        m_socket->write("HTTP/1.1 " + m_status + "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        m_socket->flush();
        m_socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_status, m_buffer, m_head, m_body;
    bool m_complete = false;
    int m_connections = 0;
};
