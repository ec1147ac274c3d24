// Every input of the fuzz seed corpora (fuzz/corpus/<target>/), run through
// the fuzz target's own checks: the seeds that describe the protocols and
// formats, and each input a fuzzer once found breaking something, kept
// there under a name that says what it broke.
#include <QDir>
#include <QFile>
#include <QTest>

#include "fuzzsupport.h"

extern "C" {
int replay_reply(const uint8_t *data, size_t size);
int replay_tftpd(const uint8_t *data, size_t size);
int replay_tftpsession(const uint8_t *data, size_t size);
int replay_ccf(const uint8_t *data, size_t size);
int replay_irdecode(const uint8_t *data, size_t size);
int replay_intelhex(const uint8_t *data, size_t size);
int replay_ircsv(const uint8_t *data, size_t size);
int replay_irlirc(const uint8_t *data, size_t size);
int replay_irflipper(const uint8_t *data, size_t size);
int replay_irpronto(const uint8_t *data, size_t size);
int replay_sitefile(const uint8_t *data, size_t size);
int replay_sitedevicecsv(const uint8_t *data, size_t size);
int replayInit_tftpd(int *argc, char ***argv);
int replayInit_tftpsession(int *argc, char ***argv);
}

namespace {

using Entry = int (*)(const uint8_t *, size_t);

struct Target
{
    const char *name;
    Entry entry;
};

const Target targets[] = {
    {"fuzz_reply", replay_reply},
    {"fuzz_tftpd", replay_tftpd},
    {"fuzz_tftpsession", replay_tftpsession},
    {"fuzz_ccf", replay_ccf},
    {"fuzz_irdecode", replay_irdecode},
    {"fuzz_intelhex", replay_intelhex},
    {"fuzz_ircsv", replay_ircsv},
    {"fuzz_irlirc", replay_irlirc},
    {"fuzz_irflipper", replay_irflipper},
    {"fuzz_irpronto", replay_irpronto},
    {"fuzz_sitefile", replay_sitefile},
    {"fuzz_sitedevicecsv", replay_sitedevicecsv},
};

QString corpusOf(const char *target)
{
    return QStringLiteral(KOV_FUZZ_CORPUS "/") + QLatin1String(target);
}

} // namespace

class tst_Regressions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void corpus_data();
    void corpus();
};

void tst_Regressions::initTestCase()
{
    for (const Target &target : targets) {
        const QStringList inputs = QDir(corpusOf(target.name)).entryList(QDir::Files);
        QVERIFY2(inputs.size() >= 3, target.name);
    }
    int argc = 0;
    char **argv = nullptr;
    QCOMPARE(replayInit_tftpd(&argc, &argv), 0);
    QCOMPARE(replayInit_tftpsession(&argc, &argv), 0);
    QVERIFY2(FuzzSupport::brokenProperties().isEmpty(),
             qPrintable(FuzzSupport::brokenProperties().join(QLatin1Char('\n'))));
}

void tst_Regressions::corpus_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QByteArray>("input");
    for (int t = 0; t < int(std::size(targets)); ++t) {
        const QDir dir(corpusOf(targets[t].name));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QTest::addRow("%s/%s", targets[t].name, qPrintable(name)) << t << file.readAll();
        }
    }
}

void tst_Regressions::corpus()
{
    QFETCH(int, target);
    QFETCH(QByteArray, input);
    FuzzSupport::brokenProperties().clear();
    const int result = targets[target].entry(reinterpret_cast<const uint8_t *>(input.constData()),
                                             size_t(input.size()));
    QCOMPARE(result, 0);
    QVERIFY2(FuzzSupport::brokenProperties().isEmpty(),
             qPrintable(FuzzSupport::brokenProperties().join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_Regressions)
#include "tst_regressions.moc"
