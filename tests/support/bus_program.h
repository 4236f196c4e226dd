#pragma once
// A program a test starts on its private session bus: ready once the program
// owns its bus name, killed when the test's program ends.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QString>
#include <QTest>

namespace qmtest {

class BusProgram {
  public:
    BusProgram(const QString& program, const QString& busName,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessEnvironment(environment);
        process_.start(program, {});
        ready_ = QTest::qWaitFor(
            [&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(busName); },
            10000);
    }
    ~BusProgram() {
        process_.kill();
        process_.waitForFinished();
    }
    BusProgram(const BusProgram&) = delete;
    BusProgram& operator=(const BusProgram&) = delete;

    bool Ready() const { return ready_; }

  private:
    QProcess process_;
    bool ready_ = false;
};

} // namespace qmtest
