#pragma once
// One running copy per user and program folder: the first copy listens on a local socket; a
// second copy finds it, asks it to bring its window to the front, and ends. GUI thread only.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace taktwerk::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the socket: the same user and program folder give the same key.
    explicit SingleInstance(QString key, QObject* parent = nullptr);

    // True when another copy answered (it has been asked to come to the front); false when this
    // copy is now the one that listens.
    bool otherRunning();

    static QString keyFor(const QString& appDir);

signals:
    // Another copy was started and asks this one to show itself.
    void activationRequested();

private:
    QString key_;
    QLocalServer server_;
};

}  // namespace taktwerk::ui
