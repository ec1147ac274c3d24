#include "ccfparser.h"

#include <QRandomGenerator>
#include <QtTest>

Q_DECLARE_METATYPE(Ccf::Result)

namespace {

QString repeatedWords(const QString &word, int n)
{
    QStringList words;
    for (int i = 0; i < n; ++i)
        words << word;
    return words.join(QLatin1Char(' '));
}

} // namespace

class tst_CcfParser : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void badInputNeverBreaks_data();
    void badInputNeverBreaks();
    void randomTextKeepsTheContract();
    void warnings_data();
    void warnings();
};

void tst_CcfParser::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Ccf::Result>("result");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("words"); // checked on Ok only

    using R = Ccf::Result;
    using W = QList<int>;
    const QString pad296 = repeatedWords(QStringLiteral("0020"), 296);

    QTest::newRow("empty text is one empty token") << "" << R::TooFew << 1 << W{};
    QTest::newRow("three words") << "0000 0073 0000" << R::TooFew << 3 << W{};
    QTest::newRow("single blank") << " " << R::TooFew << 2 << W{};
    QTest::newRow("six words, one pair")
        << "0000 0073 0000 0001 0020 0020" << R::Ok << 6 << W{0, 0x73, 0, 1, 0x20, 0x20};
    QTest::newRow("four words, no pairs")
        << "0000 0073 0000 0000" << R::Ok << 4 << W{0, 0x73, 0, 0};
    QTest::newRow("300 words, 148 pairs")
        << "0000 0073 0050 0044 " + pad296 << R::Ok << 300 << W{0, 0x73, 0x50, 0x44, 0x20};
    QTest::newRow("301 words") << "0000 0073 0050 0045 " + pad296 + " 0020" << R::TooMany << 301
                               << W{};
    QTest::newRow("301 tokens, most of them empty")
        << "0000 0073 0000 0000" + QString(297, QLatin1Char(' ')) << R::TooMany << 301 << W{};
    QTest::newRow("300 tokens with empty ones")
        << "0000 0073 0000 0000" + QString(296, QLatin1Char(' ')) << R::InvalidValue << 300 << W{};
    QTest::newRow("doubled blank") << "0000 0073 0000  0000" << R::InvalidValue << 5 << W{};
    QTest::newRow("leading blank") << " 0000 0073 0000 0000" << R::InvalidValue << 5 << W{};
    QTest::newRow("trailing blank") << "0000 0073 0000 0000 " << R::InvalidValue << 5 << W{};
    QTest::newRow("lower and upper case digits")
        << "0000 0073 0000 0001 00ab 00AB" << R::Ok << 6 << W{0, 0x73, 0, 1, 0xAB, 0xAB};
    QTest::newRow("any first and second word")
        << "FFFF 1234 0000 0001 0020 0020" << R::Ok << 6 << W{0xFFFF, 0x1234, 0, 1, 0x20, 0x20};
    QTest::newRow("pair counts too high")
        << "0000 0073 0000 0002 0020 0020" << R::InvalidString << 6 << W{};
    QTest::newRow("pair counts too low")
        << "0000 0073 0000 0000 0020 0020" << R::InvalidString << 6 << W{};
    QTest::newRow("largest pair counts") << "0000 0073 FFFF FFFF" << R::InvalidString << 4 << W{};
    QTest::newRow("values above 0xFFFF keep the low 16 bits")
        << "0000 0073 0000 0001 10020 7FFFFFFF" << R::Ok << 6 << W{0, 0x73, 0, 1, 0x20, 0xFFFF};
    QTest::newRow("a pair count of 0x10001 counts as 1")
        << "0000 0073 10001 0000 0020 0020" << R::Ok << 6 << W{0, 0x73, 1, 0, 0x20, 0x20};
    QTest::newRow("beyond int range")
        << "0000 0073 0000 0000 80000000" << R::InvalidValue << 5 << W{};
    QTest::newRow("not hexadecimal") << "0000 0073 000G 0000" << R::InvalidValue << 4 << W{};
    QTest::newRow("no digits after 0x") << "0x 0073 0000 0000" << R::InvalidValue << 4 << W{};
    QTest::newRow("0x prefix converts")
        << "0x0000 0X73 0000 0000" << R::Ok << 4 << W{0, 0x73, 0, 0};
    QTest::newRow("signs convert") << "-1 +73 0000 0000" << R::Ok << 4 << W{0xFFFF, 0x73, 0, 0};
    QTest::newRow("most negative int")
        << "-80000000 0073 0000 0000" << R::Ok << 4 << W{0, 0x73, 0, 0};
    QTest::newRow("tabs are not separators") << "0000\t0073\t0000\t0000" << R::TooFew << 1 << W{};
    QTest::newRow("tab inside a token") << "0000 00\t73 0000 0000" << R::InvalidValue << 4 << W{};
    QTest::newRow("newline at the end of a token") << "0000 0073 0000 0000\n"
                                                   << R::Ok << 4 << W{0, 0x73, 0, 0};
    QTest::newRow("non-ASCII letter") << QString::fromUtf8("0000 0073 00\xc3\xa9"
                                                           "0 0000")
                                      << R::InvalidValue << 4 << W{};
    QTest::newRow("full-width digits")
        << QString::fromUtf8("0000 0073 \xef\xbc\x91 0000") << R::InvalidValue << 4 << W{};
    QTest::newRow("bad word before bad count: value first")
        << "0000 0073 0000 0009 zz" << R::InvalidValue << 5 << W{};
    QTest::newRow("too many before bad words")
        << repeatedWords(QStringLiteral("zz"), 301) << R::TooMany << 301 << W{};
    QTest::newRow("too few before bad words") << "zz zz zz" << R::TooFew << 3 << W{};
}

void tst_CcfParser::parse()
{
    QFETCH(QString, text);
    QFETCH(Ccf::Result, result);
    QFETCH(int, count);
    QFETCH(QList<int>, words);

    quint16 buffer[Ccf::MaxWords];
    std::fill(std::begin(buffer), std::end(buffer), quint16(0xBEEF));
    int parsed = -1;
    QCOMPARE(Ccf::parse(text, buffer, parsed), result);
    QCOMPARE(parsed, count);
    if (result == Ccf::Result::Ok) {
        for (int i = 0; i < words.size(); ++i)
            QCOMPARE(int(buffer[i]), words.at(i));
        QCOMPARE(count, 4 + 2 * (buffer[2] + buffer[3]));
    }
}

void tst_CcfParser::badInputNeverBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Ccf::Result>("result");

    using R = Ccf::Result;
    QTest::newRow("10,000 hex digits in one token")
        << QString(10000, QLatin1Char('A')) << R::TooFew;
    QTest::newRow("10,000 characters of single-letter words")
        << repeatedWords(QStringLiteral("A"), 5000) << R::TooMany;
    QTest::newRow("10,000 blanks") << QString(10000, QLatin1Char(' ')) << R::TooMany;
    QTest::newRow("long digit runs in four tokens")
        << QStringLiteral("0000 0073 0000 ") + QString(9985, QLatin1Char('F')) << R::InvalidValue;
    QTest::newRow("leading zeros")
        << QStringLiteral("0000 0073 0000 ") + QString(9000, QLatin1Char('0')) << R::Ok;
    QTest::newRow("control characters") << QStringLiteral("\x01\x02 \x7f 0 0") << R::InvalidValue;
    QTest::newRow("NUL characters") << QString(8, QChar(0)) << R::TooFew;
    QTest::newRow("lone surrogates")
        << QString(QChar(0xD800)) + QStringLiteral(" 0 0 0") << R::InvalidValue;
    QTest::newRow("emoji") << QString::fromUtf8("\xf0\x9f\x98\x80 0 0 0") << R::InvalidValue;
    QTest::newRow("non-breaking spaces") << QString::fromUtf8("0000\xc2\xa0"
                                                              "0073\xc2\xa0"
                                                              "0000\xc2\xa0"
                                                              "0000")
                                         << R::TooFew;
}

void tst_CcfParser::badInputNeverBreaks()
{
    QFETCH(QString, text);
    QFETCH(Ccf::Result, result);

    quint16 buffer[Ccf::MaxWords];
    int count = 0;
    QCOMPARE(Ccf::parse(text, buffer, count), result);
}

// Random texts from the characters that matter: whatever comes in, the
// result is one of the five, and Ok means the words truly add up.
void tst_CcfParser::randomTextKeepsTheContract()
{
    QRandomGenerator random(20261207);
    const QString alphabet = QStringLiteral("0123456789abcdefABCDEFxX+- \t G");
    int ok = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = random.bounded(64);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(random.bounded(alphabet.size()));
        // Give some texts a plausible head so Ok is reached now and then.
        if (round % 2)
            text = QStringLiteral("0000 0073 0000 000") + QString::number(random.bounded(4))
                   + QLatin1Char(' ') + text;

        quint16 buffer[Ccf::MaxWords];
        int count = -1;
        const Ccf::Result result = Ccf::parse(text, buffer, count);
        QCOMPARE(count, int(text.count(QLatin1Char(' ')) + 1));
        switch (result) {
        case Ccf::Result::Ok:
            ++ok;
            QVERIFY(count >= 4 && count <= 300);
            QCOMPARE(count, 4 + 2 * (buffer[2] + buffer[3]));
            for (const QString &token : text.split(QLatin1Char(' '))) {
                bool converted = false;
                token.toInt(&converted, 16);
                QVERIFY2(converted, qPrintable(text));
            }
            break;
        case Ccf::Result::TooFew:
            QVERIFY(count < 4);
            break;
        case Ccf::Result::TooMany:
            QVERIFY(count > 300);
            break;
        case Ccf::Result::InvalidValue:
        case Ccf::Result::InvalidString:
            QVERIFY(count >= 4 && count <= 300);
            break;
        case Ccf::Result::NoOutput:
            QFAIL("parse never reports the output check");
        }
    }
    QVERIFY(ok > 0);
}

void tst_CcfParser::warnings_data()
{
    QTest::addColumn<Ccf::Result>("result");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    using R = Ccf::Result;
    QTest::newRow("too many") << R::TooMany << "Too many IR pairs"
                              << "Sorry too many IR Pairs";
    QTest::newRow("too few") << R::TooFew << "Too few IR pairs"
                             << "Sorry too few IR Pairs, not a valid CCF string.";
    QTest::newRow("invalid value") << R::InvalidValue << "Invalid CCF"
                                   << "An invalid value was encountered in the CCF string";
    QTest::newRow("invalid string") << R::InvalidString << "Invalid CCF"
                                    << "Invalid CCF string.";
    QTest::newRow("no output") << R::NoOutput << "No Output Selected"
                               << "You did not select any outputs";
    QTest::newRow("ok has no warning") << R::Ok << QString() << QString();
}

void tst_CcfParser::warnings()
{
    QFETCH(Ccf::Result, result);
    QFETCH(QString, title);
    QFETCH(QString, text);

    QCOMPARE(Ccf::warningTitle(result), title);
    QCOMPARE(Ccf::warningText(result), text);
}

QTEST_GUILESS_MAIN(tst_CcfParser)
#include "tst_ccfparser.moc"
