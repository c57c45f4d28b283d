// One running instance per executable path: a QLockFile and a QLocalServer
// whose names derive from the executable's canonical path and the user id.
// A second start of the same file connects to the first, asks it to come
// forward and ends; a copy in another folder has other names and runs on
// its own.
//
// Ownership: the lock and the server live as long as the object (the
// process). Threads: GUI thread. Failures: none raised; a lock that cannot
// be taken and no server to reach lets the instance start normally.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace vorlano {

class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit TSingleInstance(const QString& executablePath);
    ~TSingleInstance() override;

    // True when this process is the running instance (and now listens);
    // false after it has asked the running one to come forward.
    bool Claim();

    static QString KeyFor(const QString& executablePath);

  signals:
    void restoreRequested();

  private:
    QString FKey;
    std::unique_ptr<QLockFile> FLock;
    std::unique_ptr<QLocalServer> FServer;
};

}  // namespace vorlano
