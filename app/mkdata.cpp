// Writes the delivered data files into a folder, leaving existing files alone; or prepares an
// office's server database, empty or from one desktop's permanent file.
#include "store/Engine.h"
#include "store/Schema.h"
#include "store/ServerConfig.h"
#include "server/ServerImport.h"
#include "server/ServerEngine.h"

#include <QCoreApplication>
#include <cstdio>

static int usage()
{
    std::fprintf(stderr, "usage: quotedesk_mkdata DATA_FOLDER\n"
                         "       quotedesk_mkdata --create --server CONNINFO\n"
                         "       quotedesk_mkdata --import FILE.mdb --server CONNINFO\n");
    return 2;
}

static int failed(const DbResult &r)
{
    std::fprintf(stderr, "quotedesk_mkdata: %s\n", qPrintable(r.error));
    return 1;
}

static int serverMode(const QStringList &args)
{
    const qsizetype at = args.indexOf(QStringLiteral("--server"));
    const bool create = args.contains(QStringLiteral("--create"));
    const qsizetype from = args.indexOf(QStringLiteral("--import"));
    if (at < 0 || at + 1 >= args.size() || create == (from >= 0) || (from >= 0 && from + 1 >= args.size()))
        return usage();
    ServerConfig config;
    if (DbResult r = parseConnectionString(args[at + 1], config); !r)
        return failed(r);
    Db server(QStringLiteral("mkdata-server"));
    if (DbResult r = server.openServer(config); !r)
        return failed(r);
    if (create) {
        if (DbResult r = engineOf(server).createSchema(server); !r)
            return failed(r);
        std::printf("prepared %s\n", qPrintable(config.displayName()));
        return 0;
    }
    ImportReport report;
    if (DbResult r = importIntoServer(args[from + 1], server, report); !r)
        return failed(r);
    std::printf("imported into %s: %lld estimates, %lld lines, %lld customers, %lld products, %lld issued versions\n",
                qPrintable(config.displayName()), report.estimates, report.lines, report.customers, report.products,
                report.issued);
    for (const QString &line : report.merged)
        std::printf("%s\n", qPrintable(line));
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    serverstore::install();
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() > 1)
        return serverMode(args);
    if (args.size() != 1 || args[0].startsWith(QStringLiteral("--")))
        return usage();
    QStringList created;
    DbResult r = schema::createMissingFiles(args[0], &created);
    for (const QString &p : created)
        std::printf("created %s\n", qPrintable(p));
    return r ? 0 : failed(r);
}
