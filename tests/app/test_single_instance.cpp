#include <QProcess>
#include <QSharedMemory>
#include <QtTest>

#include <csignal>

// The tool as a whole process: one instance at a time, and the way it ends.
class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    static void start(QProcess &process, const QString &task) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELTORA_PROBE"), task);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(TOOL_PROBE), QStringList());
        QVERIFY(process.waitForStarted());
    }

    static void wait_until_locked() {
        QSharedMemory segment(QStringLiteral("Veltora Zazurad - Motor"));
        // Up to 30 s: on a loaded machine the tool can take seconds to start.
        for (int i = 0; i < 3000 && !segment.attach(QSharedMemory::ReadOnly); ++i)
            QTest::qWait(10);
        QVERIFY(segment.isAttached());
        segment.detach();
    }

    static void finish(QProcess &process, int status) {
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
    }

private slots:
    void a_second_instance_is_refused_while_the_first_runs() {
        QProcess first;
        start(first, QStringLiteral("close:stdin"));
        wait_until_locked();

        QProcess second;
        start(second, QStringLiteral("hold"));
        finish(second, 0);
        QCOMPARE(QString::fromUtf8(second.readAllStandardOutput()),
                 QStringLiteral("box: Não é possível abrir mais de uma instância da aplicação!\n"));
        QCOMPARE(first.state(), QProcess::Running);
        first.write("close\n");
        first.closeWriteChannel();
        finish(first, 0);

        // Once the first has closed normally, a new one starts.
        QProcess third;
        start(third, QStringLiteral("close:200"));
        finish(third, 0);
        QCOMPARE(third.readAllStandardOutput(), QByteArray());
    }

    void a_killed_instance_does_not_lock_out_the_next() {
        QProcess killed;
        start(killed, QStringLiteral("hold"));
        wait_until_locked();
        ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
        QVERIFY(killed.waitForFinished());

        QProcess next;
        start(next, QStringLiteral("close:200"));
        finish(next, 0);
        QCOMPARE(next.readAllStandardOutput(), QByteArray());
    }

    void an_unexpected_chair_result_ends_with_status_1_and_releases_the_lock_data() {
        QTest::addColumn<QString>("task");
        QTest::newRow("while the window runs") << QStringLiteral("fatal");
        QTest::newRow("while the window closes") << QStringLiteral("fatal:closing");
    }

    void an_unexpected_chair_result_ends_with_status_1_and_releases_the_lock() {
        QFETCH(QString, task);
        QProcess failing;
        start(failing, task);
        finish(failing, 1);
        QCOMPARE(QString::fromUtf8(failing.readAllStandardOutput()),
                 QStringLiteral("box: Erro inesperado! O programa será fechado!\n"));

        QProcess next;
        start(next, QStringLiteral("close:200"));
        finish(next, 0);
        QCOMPARE(next.readAllStandardOutput(), QByteArray());
    }
};

QTEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
