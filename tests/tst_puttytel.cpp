// The Linux telnet launcher, run as the tool runs it, with a PATH that
// holds only recording stand-ins for the terminal and the clients.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Launcher = QStringLiteral(KOV_PUTTYTEL);
const QString Usage = QStringLiteral("usage: puttytel -raw HOST PORT\n");

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class tst_Puttytel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusesOtherArguments_data();
    void refusesOtherArguments();
    void opensTerminalWithClient_data();
    void opensTerminalWithClient();
    void noClient();
    void noTerminal();
    void noDisplayNoTerminal();
    void runsInPlaceOnATerminal();
    void failureShownOnDisplay();

private:
    // A stand-in program in the private PATH: it writes its arguments,
    // one a line, to <name>.args. A terminal stand-in then runs the
    // command after -e, as a real terminal would.
    void addTool(const QString &name)
    {
        const QString path = bin->filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray script = "#!/bin/sh\n"
                            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                            + QFile::encodeName(path) + ".args'\n";
        if (name == "x-terminal-emulator" || name == "xterm")
            script += "[ \"$1\" = -e ] && shift && \"$@\" </dev/null\nexit 0\n";
        file.write(script);
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                    | QFileDevice::ExeOwner));
    }
    QStringList argsOf(const QString &name)
    {
        QFile file(bin->filePath(name + ".args"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    bool ran(const QString &name) { return QFile::exists(bin->filePath(name + ".args")); }
    Run run(const QStringList &arguments, const QStringList &environment)
    {
        QProcess process;
        QProcessEnvironment env;
        env.insert("PATH", bin->path());
        for (const QString &entry : environment)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        process.setProcessEnvironment(env);
        process.start(Launcher, arguments);
        process.closeWriteChannel();
        Run result;
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return result;
        result.exitCode = process.exitCode();
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    QTemporaryDir *bin = nullptr;
};

void tst_Puttytel::init()
{
    bin = new QTemporaryDir;
    QVERIFY(bin->isValid());
}

void tst_Puttytel::cleanup()
{
    delete bin;
    bin = nullptr;
}

void tst_Puttytel::refusesOtherArguments_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no arguments") << QStringList();
    QTest::newRow("host only") << QStringList{"-raw", "10.0.0.5"};
    QTest::newRow("one too many") << QStringList{"-raw", "10.0.0.5", "6000", "x"};
    QTest::newRow("telnet mode") << QStringList{"-telnet", "10.0.0.5", "6000"};
    QTest::newRow("mode last") << QStringList{"10.0.0.5", "6000", "-raw"};
    QTest::newRow("empty host") << QStringList{"-raw", "", "6000"};
    QTest::newRow("host is an option") << QStringList{"-raw", "-e", "6000"};
    QTest::newRow("host with command") << QStringList{"-raw", "10.0.0.5;reboot", "6000"};
    QTest::newRow("host with blank") << QStringList{"-raw", "10.0.0.5 -l", "6000"};
    QTest::newRow("port not a number") << QStringList{"-raw", "10.0.0.5", "telnet"};
    QTest::newRow("port zero") << QStringList{"-raw", "10.0.0.5", "0"};
    QTest::newRow("port negative") << QStringList{"-raw", "10.0.0.5", "-1"};
    QTest::newRow("port too large") << QStringList{"-raw", "10.0.0.5", "65536"};
    QTest::newRow("port huge") << QStringList{"-raw", "10.0.0.5", "99999999999999999999"};
    QTest::newRow("port empty") << QStringList{"-raw", "10.0.0.5", ""};
}

void tst_Puttytel::refusesOtherArguments()
{
    QFETCH(QStringList, arguments);
    addTool("x-terminal-emulator");
    addTool("nc");

    const Run result = run(arguments, {"DISPLAY=:0"});
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.err, Usage);
    QVERIFY(result.out.isEmpty());
    QVERIFY(!ran("x-terminal-emulator"));
    QVERIFY(!ran("nc"));
}

void tst_Puttytel::opensTerminalWithClient_data()
{
    QTest::addColumn<QStringList>("tools");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("terminal");
    QTest::addColumn<QString>("client");

    const QStringList all{"x-terminal-emulator", "xterm", "nc", "telnet"};
    QTest::newRow("desktop terminal, nc") << all << "DISPLAY=:0"
                                          << "10.0.0.5"
                                          << "6000"
                                          << "x-terminal-emulator"
                                          << "nc";
    QTest::newRow("xterm when no desktop terminal") << QStringList{"xterm", "nc"} << "DISPLAY=:0"
                                                    << "10.0.0.5"
                                                    << "6000"
                                                    << "xterm"
                                                    << "nc";
    QTest::newRow("telnet when no nc")
        << QStringList{"x-terminal-emulator", "telnet"} << "DISPLAY=:0"
        << "10.0.0.7"
        << "6000"
        << "x-terminal-emulator"
        << "telnet";
    QTest::newRow("wayland display") << all << "WAYLAND_DISPLAY=wayland-0"
                                     << "10.0.0.5"
                                     << "6000"
                                     << "x-terminal-emulator"
                                     << "nc";
    QTest::newRow("host name, highest port") << all << "DISPLAY=:0"
                                             << "kov-1.local"
                                             << "65535"
                                             << "x-terminal-emulator"
                                             << "nc";
    QTest::newRow("ipv6 host") << all << "DISPLAY=:0"
                               << "fe80::1"
                               << "1"
                               << "x-terminal-emulator"
                               << "nc";
}

void tst_Puttytel::opensTerminalWithClient()
{
    QFETCH(QStringList, tools);
    QFETCH(QString, display);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, terminal);
    QFETCH(QString, client);
    for (const QString &tool : tools)
        addTool(tool);

    const Run result = run({"-raw", host, port}, {display});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    const QStringList terminalArgs = argsOf(terminal);
    QVERIFY(!terminalArgs.isEmpty());
    QCOMPARE(terminalArgs.first(), QString("-e"));
    QCOMPARE(terminalArgs.mid(terminalArgs.size() - 3), (QStringList{client, host, port}));
    // The terminal ran the session: the client got exactly HOST PORT.
    QCOMPARE(argsOf(client), (QStringList{host, port}));
    for (const QString &tool : tools) {
        if (tool != terminal && tool != client)
            QVERIFY2(!ran(tool), qPrintable(tool));
    }
}

void tst_Puttytel::noClient()
{
    addTool("x-terminal-emulator");
    addTool("xterm");
    const Run result = run({"-raw", "10.0.0.5", "6000"}, {"DISPLAY=:0"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.startsWith("puttytel: "), qPrintable(result.err));
    QVERIFY(result.err.contains("nc"));
    QVERIFY(result.err.contains("telnet"));
    QVERIFY(!ran("x-terminal-emulator"));
    QVERIFY(!ran("xterm"));
}

void tst_Puttytel::noTerminal()
{
    addTool("nc");
    const Run result = run({"-raw", "10.0.0.5", "6000"}, {"DISPLAY=:0"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.startsWith("puttytel: "), qPrintable(result.err));
    QVERIFY(result.err.contains("terminal"));
    QVERIFY(!ran("nc"));
}

void tst_Puttytel::noDisplayNoTerminal()
{
    addTool("x-terminal-emulator");
    addTool("nc");
    // Run with no display and its input a pipe, as a detached start gives.
    const Run result = run({"-raw", "10.0.0.5", "6000"}, {});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.startsWith("puttytel: "), qPrintable(result.err));
    QVERIFY(result.err.contains("display"));
    QVERIFY(result.err.contains("10.0.0.5"));
    QVERIFY(!ran("x-terminal-emulator"));
    QVERIFY(!ran("nc"));
}

void tst_Puttytel::runsInPlaceOnATerminal()
{
    // util-linux "script" gives the launcher a pseudo-terminal.
    const QString script = QStandardPaths::findExecutable("script");
    if (script.isEmpty())
        QSKIP("util-linux script is not installed");
    addTool("nc");
    QProcess process;
    QProcessEnvironment env;
    env.insert("PATH", bin->path());
    process.setProcessEnvironment(env);
    process.start(script, {"-qec", Launcher + " -raw 10.0.0.5 6000", "/dev/null"});
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(argsOf("nc"), (QStringList{"10.0.0.5", "6000"}));
}

void tst_Puttytel::failureShownOnDisplay()
{
    // Started detached by the window, the launcher's error output goes
    // unseen: the reason also shows in an xmessage window.
    addTool("nc");
    addTool("xmessage");
    const Run result = run({"-raw", "10.0.0.5", "6000"}, {"DISPLAY=:0"});
    QCOMPARE(result.exitCode, 1);
    QTRY_VERIFY(ran("xmessage"));
    QTRY_VERIFY(argsOf("xmessage").join(' ').contains("no terminal program found"));
    QCOMPARE(argsOf("xmessage").last(), result.err.trimmed());
}

QTEST_GUILESS_MAIN(tst_Puttytel)
#include "tst_puttytel.moc"
