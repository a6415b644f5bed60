#pragma once
// One running copy per user and program folder: the first copy listens on a local socket; a
// second copy finds it, hands it its request (come to the front, or open a rhythm file), and
// ends. GUI thread only.
//
// A request is one message per connection: "raise" or "open " + an absolute path, ended by a
// NUL byte (the one byte no path holds). A connection that closes without a whole request is a
// plain "come to the front", which is all that copies before file hand-over sent.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <filesystem>
#include <optional>

namespace taktwerk::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The longest request taken: far more than any path (PATH_MAX is 4096); a longer one is
    // dropped unanswered.
    static constexpr qsizetype kMaxRequestBytes = 64 * 1024;

    // `key` names the socket: the same user and program folder give the same key.
    explicit SingleInstance(QString key, QObject* parent = nullptr);

    // True when another copy answered: it has been handed `rhythmFile` (made absolute here, as
    // the other copy has another working folder) or, without one, asked to come to the front.
    // False when this copy is now the one that listens.
    bool otherRunning(const std::optional<std::filesystem::path>& rhythmFile = std::nullopt);

    static QString keyFor(const QString& appDir);

signals:
    // Another copy was started and asks this one to show itself.
    void activationRequested();
    // Another copy was started with this rhythm file (an absolute path): show it loaded.
    void openRequested(const std::filesystem::path& rhythmFile);

private:
    void answer(const QByteArray& request);

    QString key_;
    QLocalServer server_;
};

}  // namespace taktwerk::ui
