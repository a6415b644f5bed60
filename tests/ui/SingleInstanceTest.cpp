// The hand-over between a second start and the running copy, over a real local socket: what a
// second copy asks, and what any other process of the same user may write to the socket.

#include "ui/SingleInstance.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace taktwerk::ui {
namespace {

// A socket name of its own for each test, so runs in parallel never meet.
QString freshKey()
{
    static int count = 0;
    return QStringLiteral("taktwerk-test-%1-%2").arg(::getpid()).arg(++count);
}

// All bytes of a literal, the NULs inside and the one ending a request included.
template <std::size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, static_cast<qsizetype>(N - 1));
}

struct Running {
    Running() : key(freshKey()), instance(key) { EXPECT_FALSE(instance.otherRunning()); }
    QString key;
    SingleInstance instance;
    QSignalSpy raised{&instance, &SingleInstance::activationRequested};
    QSignalSpy opened{&instance, &SingleInstance::openRequested};

    std::vector<std::filesystem::path> files() const
    {
        std::vector<std::filesystem::path> result;
        for (const QList<QVariant>& call : opened)
            result.push_back(call.at(0).value<std::filesystem::path>());
        return result;
    }
};

TEST(SingleInstance, ASecondStartHandsOverItsFileMadeAbsolute)
{
    Running first;
    SingleInstance second(first.key);
    ASSERT_TRUE(second.otherRunning(std::filesystem::path("Rhythms/Rock.rtm")));
    ASSERT_TRUE(first.opened.wait(2000));
    EXPECT_EQ(first.files(), std::vector<std::filesystem::path>{std::filesystem::current_path() /
                                                                "Rhythms/Rock.rtm"});

    SingleInstance third(first.key);
    ASSERT_TRUE(third.otherRunning());
    ASSERT_TRUE(first.raised.wait(2000));
    QTest::qWait(100);
    EXPECT_EQ(first.raised.count(), 1);
    EXPECT_EQ(first.opened.count(), 1);
}

TEST(SingleInstance, WhatAnyProcessWritesToTheSocketOpensAtMostOneAbsoluteFile)
{
    struct Case {
        const char* label;
        QByteArray bytes;
        bool hangUp;      // close the connection after writing
        int raises;       // activationRequested
        QByteArray file;  // the one file opened; empty: none
    };
    const QByteArray kBigPath = "open /" + QByteArray(SingleInstance::kMaxRequestBytes, 'a');
    const Case cases[] = {
        {"raise", bytes("raise\0"), false, 1, {}},
        {"a file", bytes("open /a b/R\xc3\xbc.rtm\0"), false, 0, "/a b/R\xc3\xbc.rtm"},
        {"not UTF-8", bytes("open /\xff\xfe.rtm\0"), false, 0, "/\xff\xfe.rtm"},
        {"a line break in the name", bytes("open /a\nb.rtm\0"), false, 0, "/a\nb.rtm"},
        {"only the first request", bytes("open /x.rtm\0open /y.rtm\0"), false, 0, "/x.rtm"},
        {"a relative file", bytes("open x.rtm\0"), false, 1, {}},
        {"an empty file", bytes("open \0"), false, 1, {}},
        {"an unknown request", bytes("format c:\0"), false, 1, {}},
        {"an old copy's request", "raise\n", true, 1, {}},
        {"a bare connection", {}, true, 1, {}},
        {"a request cut short", "open /x.r", true, 1, {}},
        {"a flood without end", kBigPath, false, 0, {}},
    };
    for (const Case& c : cases) {
        Running first;
        QLocalSocket client;
        client.connectToServer(first.key);
        ASSERT_TRUE(client.waitForConnected(2000)) << c.label;
        QSignalSpy closed(&client, &QLocalSocket::disconnected);
        client.write(c.bytes);
        if (c.hangUp)
            client.disconnectFromServer();
        // The running copy ends every connection once it has its answer (or has had enough).
        if (client.state() != QLocalSocket::UnconnectedState) {
            EXPECT_TRUE(closed.wait(3000)) << c.label;
        }
        QTest::qWait(50);
        EXPECT_EQ(first.raised.count(), c.raises) << c.label;
        const auto expected =
            c.file.isEmpty()
                ? std::vector<std::filesystem::path>{}
                : std::vector<std::filesystem::path>{std::filesystem::path(c.file.toStdString())};
        EXPECT_EQ(first.files(), expected) << c.label;
    }
}

TEST(SingleInstance, ASilentConnectionIsDroppedWithoutAnAnswer)
{
    Running first;
    QLocalSocket client;
    client.connectToServer(first.key);
    ASSERT_TRUE(client.waitForConnected(2000));
    QSignalSpy closed(&client, &QLocalSocket::disconnected);
    EXPECT_TRUE(closed.wait(8000));
    EXPECT_EQ(first.raised.count(), 0);
    EXPECT_EQ(first.opened.count(), 0);
}

}  // namespace
}  // namespace taktwerk::ui
