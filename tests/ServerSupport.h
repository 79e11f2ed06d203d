#pragma once
// A fresh database on the throwaway test server (scripts/pg-throwaway.sh), dropped afterwards.
// Without QUOTEDESK_TEST_SERVER in the environment the tests that need one are skipped.

#include "store/Db.h"
#include "store/ServerConfig.h"
#include "server/ServerEngine.h"

#include <QRandomGenerator>
#include <QTest>
#include <clocale>
#include <string>

// Every test may open the test server.
static const bool kServerEngineInstalled = (serverstore::install(), true);

struct TestServer {
    ServerConfig config;
    QString name;
    bool ok = false;

    static QString conninfo() { return qEnvironmentVariable("QUOTEDESK_TEST_SERVER"); }

    TestServer()
    {
        if (conninfo().isEmpty() || !parseConnectionString(conninfo(), config))
            return;
        name = QStringLiteral("qd_test_%1").arg(QRandomGenerator::global()->generate());
        Db admin(QStringLiteral("test-server-admin"));
        if (!admin.openServer(config) || !admin.execUnprepared("CREATE DATABASE " + name))
            return;
        config.values[QStringLiteral("dbname")] = name;
        ok = true;
    }
    ~TestServer()
    {
        if (!ok)
            return;
        ServerConfig adminConfig = config;
        adminConfig.values[QStringLiteral("dbname")] = QStringLiteral("postgres");
        Db admin(QStringLiteral("test-server-admin"));
        if (admin.openServer(adminConfig))
            admin.execUnprepared("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    }
    DbResult open(Db &db) const { return db.openServer(config); }
};

// The client library's messages in a language for as long as it lives ("ja" as on an office's
// desktop, "C" for English): nothing the program decides may hang on their words.
struct ClientLanguage {
    QByteArray language = qgetenv("LANGUAGE");
    std::string messages = setlocale(LC_MESSAGES, nullptr);
    explicit ClientLanguage(const char *lang)
    {
        qputenv("LANGUAGE", lang);
        setlocale(LC_MESSAGES, "C.UTF-8");
    }
    ~ClientLanguage()
    {
        qputenv("LANGUAGE", language);
        setlocale(LC_MESSAGES, messages.c_str());
    }
};

#define REQUIRE_SERVER(server)                                                                                         \
    TestServer server;                                                                                                 \
    if (TestServer::conninfo().isEmpty())                                                                              \
        QSKIP("no test server (QUOTEDESK_TEST_SERVER); scripts/test.sh starts one");                                   \
    QVERIFY2(server.ok, "cannot create a database on the test server")
