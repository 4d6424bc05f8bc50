#include "TailOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <unistd.h>

namespace {
constexpr int kIdIgnore = 5;
}

QString ItemTypeName(int type) {
    switch (type) {
    case 6:
        return QStringLiteral("NUMBER");
    case 9:
        return QStringLiteral("VARCHAR2");
    case 11:
        return QStringLiteral("ROWID");
    case 12:
        return QStringLiteral("DATE");
    case 13:
        return QStringLiteral("TIMESTAMP");
    case 23:
        return QStringLiteral("RAW");
    case 24:
        return QStringLiteral("RECORD");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

QByteArray JsonLine(const ReceivedMessage& message) {
    QJsonObject object;
    // With the offset written out, whatever the zone: "Z" would hide that the time is local.
    const QDateTime at = message.received.toOffsetFromUtc(message.received.offsetFromUtc());
    QString time = at.toString(Qt::ISODateWithMs);
    if (time.endsWith(QLatin1Char('Z')))
        time.replace(time.size() - 1, 1, QStringLiteral("+00:00"));
    object.insert(QStringLiteral("received"), time);
    object.insert(QStringLiteral("pipe"), message.pipe);
    if (message.typed) {
        QJsonArray items;
        for (const ReceivedItem& item : message.items)
            items.append(QJsonObject{{QStringLiteral("type"), ItemTypeName(item.type)},
                                     {QStringLiteral("code"), item.type},
                                     {QStringLiteral("value"), item.value}});
        object.insert(QStringLiteral("items"), items);
    } else {
        object.insert(QStringLiteral("text"), message.text);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        at += n;
        left -= n;
    }
    return true;
}

void CTailOutput::OnMessage(const ReceivedMessage& message) {
    const QByteArray bytes = m_json ? JsonLine(message) : message.logText.toUtf8();
    if (!m_closed && WriteAll(m_fd, bytes))
        return;
    if (!m_closed) {
        m_closed = true;
        WriteAll(m_fallbackFd, "tidemark-tail: standard output is closed; the messages taken "
                               "from the pipe follow here\n");
    }
    WriteAll(m_fallbackFd, bytes);
}

int CStreamReporter::ReportError(const QString& text) {
    WriteAll(m_fd, text.toUtf8() + '\n');
    return kIdIgnore;
}
