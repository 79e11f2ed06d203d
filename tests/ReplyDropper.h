#pragma once
// Between a desktop and the test server, on a socket of its own: passes everything on, except
// that it cuts the connection once, when the server has committed an estimate's save and its
// reply is on the way back (as a network that breaks at the worst moment would).

#include <QByteArray>
#include <QString>

#include <atomic>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ReplyDropper {
public:
    // upstream: the server's socket file; listens on folder/.s.PGSQL.5432.
    ReplyDropper(const QString &upstream, const QString &folder) : m_upstream(upstream.toLocal8Bit())
    {
        const QByteArray path = (folder + "/.s.PGSQL.5432").toLocal8Bit();
        m_listen = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.constData());
        ::unlink(path.constData());
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listen, 8) != 0)
            return;
        m_thread = std::thread([this] { acceptLoop(); });
    }
    ~ReplyDropper()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (std::thread &t : m_pumps)
            t.join();
        ::close(m_listen);
    }
    bool dropped() const { return m_dropped; }

private:
    void acceptLoop()
    {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int client = ::accept(m_listen, nullptr, nullptr);
            const int server = connectUpstream();
            if (client < 0 || server < 0)
                continue;
            m_pumps.emplace_back([this, client, server] { pump(client, server); });
        }
    }
    int connectUpstream() const
    {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", m_upstream.constData());
        return ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 ? s : -1;
    }
    // Whole messages of the stream so far (type byte and length; the client's first has no type).
    static std::vector<std::pair<char, QByteArray>> messages(QByteArray &buffer, bool &startup)
    {
        std::vector<std::pair<char, QByteArray>> out;
        for (;;) {
            const int head = startup ? 4 : 5;
            if (buffer.size() < head)
                return out;
            const uchar *b = reinterpret_cast<const uchar *>(buffer.constData()) + (startup ? 0 : 1);
            const int length = int((quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3]);
            const int total = length + (startup ? 0 : 1);
            if (buffer.size() < total)
                return out;
            out.push_back({startup ? '\0' : buffer[0], buffer.left(total)});
            buffer.remove(0, total);
            startup = false;
        }
    }
    static bool readInto(int fd, QByteArray &buffer)
    {
        char chunk[65536];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            buffer.append(chunk, n);
        return n > 0;
    }
    void pump(int client, int server)
    {
        QByteArray fromClient, fromServer;
        bool clientStartup = true, serverStartup = false, holdReply = false;
        QByteArray saved; // the name the save's statement was prepared under
        while (!m_stop) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            if (p[0].revents) {
                if (!readInto(client, fromClient))
                    break;
                for (const auto &[type, bytes] : messages(fromClient, clientStartup)) {
                    // The driver prepares with SQL ("PREPARE name AS …") and executes by name.
                    if (type == 'Q' && bytes.contains("quotedesk_save") && bytes.contains("PREPARE ")) {
                        const int at = bytes.indexOf("PREPARE ") + 8;
                        saved = bytes.mid(at, bytes.indexOf(' ', at) - at);
                    }
                    holdReply = holdReply || (type == 'Q' && !saved.isEmpty() && !m_dropped &&
                                              bytes.contains("EXECUTE " + saved));
                    // A statement sent as the client library's own (parsed, bound, executed).
                    holdReply = holdReply || (type == 'P' && !m_dropped && bytes.contains("quotedesk_save"));
                    ::write(server, bytes.constData(), bytes.size());
                }
            }
            if (p[1].revents) {
                if (!readInto(server, fromServer))
                    break;
                for (const auto &[type, bytes] : messages(fromServer, serverStartup)) {
                    if (holdReply && type == 'Z') { // committed: the reply never arrives
                        m_dropped = true;
                        ::close(client);
                        ::close(server);
                        return;
                    }
                    if (!holdReply)
                        ::write(client, bytes.constData(), bytes.size());
                }
            }
        }
        ::close(client);
        ::close(server);
    }

    QByteArray m_upstream;
    int m_listen = -1;
    std::atomic<bool> m_stop{false}, m_dropped{false};
    std::thread m_thread;
    std::vector<std::thread> m_pumps;
};
