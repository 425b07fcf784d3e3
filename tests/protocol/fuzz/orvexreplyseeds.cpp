// Writes the reply corpus as seed files for the fuzzer: orvex_reply_seeds DIR
#include "support/orvexreplycorpus.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const QVector<QByteArray> seeds =
        OrvexReplyCorpus::wellFormed() + OrvexReplyCorpus::corrupted(6038, 4);
    for (int i = 0; i < seeds.size(); ++i) {
        QFile file(QStringLiteral("%1/seed-%2").arg(dir).arg(i, 4, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(seeds[i]) != seeds[i].size())
            return 1;
    }
    return 0;
}
